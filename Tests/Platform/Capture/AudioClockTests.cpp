#include "Platform/Capture/AudioClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using vi::capture::AudioClock;

namespace {
constexpr int rate = 48'000;
constexpr int chunk = 480; // 10 ms
} // namespace

// A sound card whose clock runs `drift` fast or slow against the host, measured with jitter:
// stamps must stay near the truth for a long recording, and step smoothly from chunk to chunk.
TEST(AudioClock, FollowsDriftWithoutPassingOnJitter) {
    struct Case {
        double drift;  // relative
        double jitter; // seconds, uniform +-
    };
    const Case cases[] = {{0.0, 0.004}, {0.001, 0.004}, {-0.001, 0.002}, {0.0005, 0.0}};
    for (const auto& c : cases) {
        AudioClock clock(rate);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> noise(-c.jitter, c.jitter);
        const double start = 1000.0;
        double worst = 0, worstStep = 0, previous = 0;
        const int chunks = 100 * 60 * 20; // twenty minutes
        for (int i = 0; i < chunks; ++i) {
            const double truth = start + i * (chunk / double(rate)) * (1 + c.drift);
            const double stamp = clock.stamp(chunk, truth + noise(random));
            if (i > 200) worst = std::max(worst, std::abs(stamp - truth)); // after settling
            if (i > 0) worstStep = std::max(worstStep, std::abs(stamp - previous - chunk / double(rate)));
            previous = stamp;
        }
        EXPECT_LT(worst, 0.002) << "drift " << c.drift << " jitter " << c.jitter;
        // Steps stay within a fraction of a millisecond of the nominal 10 ms after the first chunk.
        EXPECT_LT(worstStep, 0.0005 + c.jitter * 0.05) << "drift " << c.drift;
    }
}

TEST(AudioClock, AGapInTheStreamMovesTheStamps) {
    // A long break moves the stamps at once; a moderate one once it has held for a while.
    struct Case {
        double gap;
        int chunksBeforeMoving;
    };
    const Case cases[] = {{1.5, 0}, {0.5, 30}, {-0.5, 30}};
    for (const auto& c : cases) {
        AudioClock clock(rate);
        double t = 50.0;
        for (int i = 0; i < 100; ++i, t += 0.01) clock.stamp(chunk, t);
        const double counted = t;
        t += c.gap;
        for (int i = 0; i < c.chunksBeforeMoving; ++i, t += 0.01) {
            EXPECT_NEAR(clock.stamp(chunk, t), counted + i * 0.01, 1e-3) << "gap " << c.gap << " chunk " << i;
        }
        EXPECT_NEAR(clock.stamp(chunk, t), t, 1e-9) << "gap " << c.gap;
        EXPECT_NEAR(clock.stamp(chunk, t + 0.01), t + 0.01, 1e-6) << "gap " << c.gap;
    }
}

// The reading thread of a busy machine runs late now and then: those measurements must not move
// the stamps, or the chunks after them would overlap sound already stamped.
TEST(AudioClock, AStalledReaderDoesNotMoveTheStamps) {
    AudioClock clock(rate);
    double t = 50.0;
    double previousEnd = 0;
    for (int i = 0; i < 300; ++i, t += 0.01) {
        const double late = (i % 50 == 25) ? 0.25 : (i % 50 == 26 ? 0.15 : 0.0);
        const double stamp = clock.stamp(chunk, t + late);
        if (i > 0) {
            EXPECT_NEAR(stamp, previousEnd, 1e-3) << "chunk " << i;
        }
        previousEnd = stamp + 0.01;
    }
}

TEST(AudioClock, LostSoundKeepsItsPlaceWithoutANewAnchor) {
    AudioClock clock(rate);
    double t = 50.0;
    for (int i = 0; i < 100; ++i, t += 0.01) clock.stamp(chunk, t);
    clock.skip(rate / 5); // 0.2 s the server lost
    EXPECT_NEAR(clock.stamp(chunk, t + 0.2), t + 0.2, 1e-3);
}

TEST(AudioClock, TheFirstChunkIsStampedWhereItWasMeasured) {
    AudioClock clock(rate);
    EXPECT_DOUBLE_EQ(clock.stamp(chunk, 12.345), 12.345);
}
