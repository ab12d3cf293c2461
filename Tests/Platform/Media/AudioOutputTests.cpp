#include "Platform/Capture/AudioCapture.h"
#include "Platform/Capture/AudioDevices.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/AudioOutput.h"
#include "Platform/Media/MediaError.h"
#include "Support/HeardOnsets.h"
#include "Support/SyntheticSound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

using namespace vi::media;
using namespace std::chrono_literals;
namespace HostClock = vi::capture::HostClock;

namespace {

constexpr double kClickEvery = 0.25;
constexpr double kFrame = 1.0 / 60;

// A click at every quarter second of output time, for as long as it is read.
class ClickTrack final : public SoundSource {
public:
    void seek(double seconds) override { position_ = std::llround(seconds * kAudioSampleRate); }
    int read(int16_t* interleaved, int frames) override {
        vi::test::synthesize(sound_, position_, std::span(interleaved, size_t(frames) * kAudioChannels));
        position_ += frames;
        return frames;
    }

private:
    vi::test::SoundSpec sound_ = vi::test::SoundSpec::clicks(kClickEvery, 0.0);
    int64_t position_ = 0;
};

struct Reading {
    double host;
    double clock;
};

// The clock's reading at a host time, between the two readings around it.
double clockAt(const std::vector<Reading>& readings, double host) {
    for (size_t i = 1; i < readings.size(); ++i) {
        if (readings[i].host < host) continue;
        const auto& a = readings[i - 1];
        const auto& b = readings[i];
        const double f = b.host > a.host ? (host - a.host) / (b.host - a.host) : 0;
        return a.clock + f * (b.clock - a.clock);
    }
    return NAN;
}

} // namespace

TEST(AudioOutput, WhatIsHeardMatchesTheClockAfterSeeksAndRateChanges) {
    vi::test::HeardOnsets heard;
    vi::capture::AudioCapture capture(vi::capture::systemSoundSource, heard.delegate());
    capture.start();
    ClickTrack clicks;
    AudioOutput output(clicks);
    EXPECT_EQ(output.rate(), 0);
    // The test server's null output wakes up slowly the first time; the clock waits for it.
    output.begin(0, 1);
    const auto wakeDeadline = std::chrono::steady_clock::now() + 10s;
    while (output.now() < 0.3 && std::chrono::steady_clock::now() < wakeDeadline) std::this_thread::sleep_for(5ms);
    ASSERT_GE(output.now(), 0.3) << "the sound never started";

    std::vector<Reading> readings;
    auto playFor = [&](std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            const double host = HostClock::now();
            readings.push_back({host, output.now()});
            std::this_thread::sleep_for(2ms);
        }
    };
    struct Stretch {
        double from;
        double rate;
        double hostStart = 0;
        double hostEnd = 0;
    };
    std::vector<Stretch> stretches{{1.0, 1}, {5.0, 1}, {-1, 2}, {-1, 0.5}};
    for (auto& stretch : stretches) {
        const double from = stretch.from >= 0 ? stretch.from : output.now();
        output.begin(from, stretch.rate);
        EXPECT_NEAR(output.now(), from, 1e-9) << "the clock jumps with the sound";
        stretch.hostStart = HostClock::now();
        playFor(1200ms);
        stretch.hostEnd = HostClock::now();
    }
    output.halt();
    const double held = output.now();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(output.now(), held);
    EXPECT_EQ(output.rate(), 0);
    std::this_thread::sleep_for(100ms);
    capture.stop();

    for (const auto& stretch : stretches) {
        // The clock runs at the asked rate (measured over the stretch, after its start-up).
        std::vector<Reading> inside;
        for (const auto& r : readings)
            if (r.host > stretch.hostStart + 0.2 && r.host < stretch.hostEnd) inside.push_back(r);
        ASSERT_GE(inside.size(), 10u);
        const double speed = (inside.back().clock - inside.front().clock) / (inside.back().host - inside.front().host);
        EXPECT_NEAR(speed, stretch.rate, 0.05 * stretch.rate) << "rate " << stretch.rate;
        for (size_t i = 1; i < inside.size(); ++i) ASSERT_GE(inside[i].clock, inside[i - 1].clock);

        // Every click heard in the stretch is heard when the clock says its time, within one
        // frame of wall time (the time a viewer sees a frame for, whatever the rate).
        int checked = 0;
        for (const double onset : heard.onsets()) {
            if (onset < stretch.hostStart + 0.1 || onset > stretch.hostEnd - 0.05) continue;
            const double clock = clockAt(inside, onset);
            if (std::isnan(clock)) continue;
            const double nearest = std::round(clock / kClickEvery) * kClickEvery;
            EXPECT_LT(std::abs(clock - nearest) / stretch.rate, kFrame)
                << "click of " << nearest << " heard at clock " << clock << ", rate " << stretch.rate;
            ++checked;
        }
        EXPECT_GE(checked, 2) << "rate " << stretch.rate;
    }
}

TEST(AudioOutput, WithoutASoundServerTheErrorSaysSo) {
    const char* previous = std::getenv("PULSE_SERVER");
    const std::string saved = previous ? previous : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/vi-no-server", 1);
    ClickTrack clicks;
    try {
        AudioOutput output(clicks);
        ADD_FAILURE() << "opened without a server";
    } catch (const MediaError& error) {
        EXPECT_EQ(error.kind(), MediaErrorKind::openFailed);
        EXPECT_EQ(error.reason(), "there is no sound server to play through");
    }
    if (previous) {
        setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
}
