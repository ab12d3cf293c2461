#include "RecordCore/LiveActivity.h"

#include "RecordCore/ActivityFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vi {
namespace {

using test::GreyFrame;

std::vector<double> timesOf(const std::vector<ActivitySample>& samples)
{
    std::vector<double> times;
    for (const ActivitySample& s : samples) {
        times.push_back(s.t);
    }
    return times;
}

TEST(LiveActivity, MeasuresAFrameOnceItsTimeIsDueWithinAMicrosecond)
{
    const GreyFrame frame(32, 20, 90);
    LiveActivity activity;
    for (double t : {0.0, 0.0666, 0.066666, 0.1, 0.133333, std::numeric_limits<double>::quiet_NaN(), 0.2}) {
        activity.add(frame.view(), t);
    }
    EXPECT_EQ(timesOf(activity.samples()), (std::vector<double>{0.0, 0.066666, 0.133333, 0.2}));
}

TEST(LiveActivity, KeepsEveryFourthFrameOfA60FrameCapture)
{
    const GreyFrame frame(32, 20, 90);
    LiveActivity activity;
    for (int i = 0; i < 120; ++i) {
        activity.add(frame.view(), i / 60.0);
    }
    const auto times = timesOf(activity.samples());
    ASSERT_EQ(times.size(), 30U);
    for (std::size_t k = 0; k < times.size(); ++k) {
        EXPECT_DOUBLE_EQ(times[k], static_cast<double>(4 * k) / 60.0);
    }
    // One packed flag per cell: 2,560 cells in 320 bytes per measured frame.
    EXPECT_EQ(activity.maskBytes(), 30U * 320U);
}

TEST(LiveActivity, OneFrameIsOneStillSample)
{
    LiveActivity activity;
    activity.add(GreyFrame(64, 40, 200).view(), 0.0);
    EXPECT_EQ(activity.samples(), (std::vector<ActivitySample>{{0.0, 0.0, std::nullopt}}));
    EXPECT_TRUE(LiveActivity().samples().empty());
}

TEST(LiveActivity, FocusFollowsAMovingSquare)
{
    // 320 x 200 pixels: each of the 64 x 40 cells is 5 x 5 pixels.
    constexpr int width = 320;
    constexpr int height = 200;
    LiveActivity activity;
    for (int i = 0; i < 30; ++i) {
        GreyFrame frame(width, height, 40);
        frame.fill(100 + 2 * i, 60, 40, 40, 230); // 2 pixels right per measured frame
        activity.add(frame.view(), i / 15.0);
    }
    const auto samples = activity.samples();
    ASSERT_EQ(samples.size(), 30U);
    EXPECT_EQ(samples[0].energy, 0.0);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        ASSERT_TRUE(samples[i].focus.has_value()) << "sample " << i;
        const NRect focus = *samples[i].focus;
        // The square's leading and trailing edges change; the focus spans them and little else.
        const double left = (100.0 + 2.0 * static_cast<double>(i - 1)) / width;
        const double right = (140.0 + 2.0 * static_cast<double>(i)) / width;
        EXPECT_NEAR(focus.x, left, 2.0 / 64) << "sample " << i;
        EXPECT_NEAR(focus.maxX(), right, 2.0 / 64) << "sample " << i;
        EXPECT_NEAR(focus.y, 60.0 / height, 1.0 / 40) << "sample " << i;
        EXPECT_NEAR(focus.maxY(), 100.0 / height, 1.0 / 40) << "sample " << i;
        EXPECT_GT(samples[i].energy, 0.0);
        EXPECT_LT(samples[i].energy, 0.05);
    }
}

TEST(LiveActivity, FrameWithoutPixelsMeasuresAsNoChange)
{
    const GreyFrame dark(64, 40, 10);
    const GreyFrame bright(64, 40, 240);
    const PixelView empty{nullptr, 0, 0, 0, false};
    const PixelView zeroWide{bright.view().base, 0, 40, 256, false};
    LiveActivity activity;
    activity.add(dark.view(), 0.0);
    activity.add(bright.view(), 1.0 / 15);
    activity.add(empty, 2.0 / 15);
    activity.add(zeroWide, 3.0 / 15);
    activity.add(bright.view(), 4.0 / 15);
    const auto samples = activity.samples();
    ASSERT_EQ(samples.size(), 5U);
    EXPECT_EQ(samples[1].energy, 1.0); // the whole screen changed
    EXPECT_EQ(samples[2].energy, 0.0);
    EXPECT_EQ(samples[3].energy, 0.0);
    EXPECT_EQ(samples[4].energy, 0.0);
}

} // namespace
} // namespace vi
