#include "Platform/Capture/FrameSchedule.h"

#include <gtest/gtest.h>

#include <stdexcept>

using vi::capture::FrameSchedule;

namespace {
constexpr std::int64_t second = 1'000'000'000;
}

TEST(FrameSchedule, DeadlinesStayOnTheAbsoluteGridWithoutDrift) {
    FrameSchedule schedule(5 * second, 60);
    // Advancing on time for an hour of frames lands exactly on start + n/fps.
    for (int i = 0; i < 60 * 3600; ++i) schedule.advance(schedule.due());
    EXPECT_EQ(schedule.tick(), 60 * 3600);
    EXPECT_EQ(schedule.due(), 5 * second + 3600 * second);
}

TEST(FrameSchedule, LateTicksAreSkippedNotCaughtUp) {
    struct Case {
        std::int64_t now;    // when the tick that was due at 0 finished
        std::int64_t tick;   // next tick
        std::int64_t skipped;
    };
    // 30 fps: ticks every 33.33 ms.
    const Case cases[] = {
        {0, 1, 0},                      // on time
        {33'333'332, 1, 0},             // just before the next deadline
        {33'333'333, 2, 1},             // exactly on it: that tick is over
        {100 * 1'000'000, 4, 3},        // three periods late
        {10 * second + 1, 301, 300},
    };
    for (const auto& c : cases) {
        FrameSchedule schedule(0, 30);
        EXPECT_EQ(schedule.advance(c.now), c.skipped) << c.now;
        EXPECT_EQ(schedule.tick(), c.tick) << c.now;
        EXPECT_GT(schedule.due(), c.now);
    }
}

TEST(FrameSchedule, RejectsRatesThatAreNotPositive) {
    EXPECT_THROW(FrameSchedule(0, 0), std::invalid_argument);
    EXPECT_THROW(FrameSchedule(0, -5), std::invalid_argument);
}
