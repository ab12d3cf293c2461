#include "RecordCore/ActivityFrameMeasurer.h"

#include "Platform/Media/PixelBufferPool.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vi {
namespace {

media::PixelBuffer greyPicture(media::PixelBufferPool& pool, std::uint8_t grey)
{
    media::PixelBuffer picture = pool.acquire();
    for (int y = 0; y < picture.height(); ++y) {
        std::memset(picture.data(0) + static_cast<std::ptrdiff_t>(y) * picture.stride(0), grey,
                    static_cast<std::size_t>(picture.width()) * 4);
    }
    return picture;
}

TEST(ActivityFrameMeasurer, MeasuresQueuedFramesInOrder)
{
    media::PixelBufferPool pool(media::PixelFormat::bgra, 64, 40);
    ActivityAnalyzer::detail::FrameMeasurer measurer(16, 10);
    // Dark, dark, bright, bright, dark: the whole screen changes at the third and fifth frames.
    for (std::uint8_t grey : {10, 10, 240, 240, 10}) {
        measurer.add(greyPicture(pool, grey));
    }
    const ChangeMaskList masks = measurer.finish();
    ASSERT_EQ(masks.size(), 5U);
    const std::size_t changed[] = {0, 0, 160, 0, 160};
    for (std::size_t i = 0; i < masks.size(); ++i) {
        EXPECT_EQ(masks[i].count(), changed[i]) << "frame " << i;
    }
}

TEST(ActivityFrameMeasurer, StopsCleanlyWhenDroppedMidWay)
{
    // An analysis that fails part way drops its measurer with frames still queued.
    media::PixelBufferPool pool(media::PixelFormat::bgra, 1920, 1080);
    ActivityAnalyzer::detail::FrameMeasurer measurer(64, 40);
    for (int i = 0; i < 6; ++i) {
        measurer.add(greyPicture(pool, static_cast<std::uint8_t>(i * 40)));
    }
}

} // namespace
} // namespace vi
