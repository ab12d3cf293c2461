#include "Platform/Media/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vi::media {
namespace {

TEST(MediaTime, SecondsBecomeTicksRoundedHalfAwayFromZero)
{
    struct Case {
        double seconds;
        int64_t ticks;
    };
    const Case cases[] = {
        {1.0 / 60, 1000},          // a frame at 60 fps is a whole number of ticks
        {1.0 / 29.97, 2002},       // 1001/30000 s
        {2.5 / 60000, 3},          // half a tick rounds away from zero
        {-2.5 / 60000, -3},
        {std::nan(""), 0},         // no time at all rather than undefined behaviour
        {std::numeric_limits<double>::infinity(), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MediaTime::fromSeconds(c.seconds).value, c.ticks) << c.seconds;
        EXPECT_EQ(MediaTime::fromSeconds(c.seconds).timescale, kMediaTimescale);
    }
}

TEST(MediaTime, ComparesAndAddsAcrossTimescales)
{
    const MediaTime thirtieth{1, 30};
    const MediaTime ticks{2000, kMediaTimescale};
    EXPECT_EQ(thirtieth, ticks);
    EXPECT_LT(MediaTime({1999, kMediaTimescale}), thirtieth);
    EXPECT_EQ((ticks + thirtieth).value, 4000);
    EXPECT_EQ((ticks - MediaTime{48000, 48000}).value, 2000 - 60000);
    EXPECT_EQ(MediaTime({1001, 30000}).convertedTo(kMediaTimescale).value, 2002);
    // Summing 60 fps frame durations stays exact where doubles drift.
    MediaTime sum{0, kMediaTimescale};
    for (int i = 0; i < 360000; ++i)
        sum += MediaTime{1000, kMediaTimescale};
    EXPECT_EQ(sum, MediaTime::fromSeconds(6000));
}

} // namespace
} // namespace vi::media
