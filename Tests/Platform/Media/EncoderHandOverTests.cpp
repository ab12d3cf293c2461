#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vi::media {
namespace {

constexpr int kWidth = 320, kHeight = 180;

void fill(const PixelBuffer& yuv, uint8_t luma, uint8_t cb, uint8_t cr)
{
    std::fill_n(yuv.data(0), yuv.stride(0) * kHeight, luma);
    std::fill_n(yuv.data(1), yuv.stride(1) * kHeight / 2, cb);
    std::fill_n(yuv.data(2), yuv.stride(2) * kHeight / 2, cr);
}

int centre(const PixelBuffer& yuv, int plane)
{
    const int shift = plane == 0 ? 0 : 1;
    return yuv.data(plane)[(kHeight >> shift) / 2 * yuv.stride(plane) + (kWidth >> shift) / 2];
}

// Pooled 4:2:0 pictures go to the encoder without a copy. The pool hands each buffer out again
// while the encoder may still hold earlier ones in its look-ahead: every frame must come back
// with its own content, so no buffer is reused before the encoder lets it go. A picture of
// another matrix is converted on the way, not passed on as it is.
TEST(EncoderHandOver, PooledPicturesArriveIntactAndOtherMatricesAreConverted)
{
    constexpr int kFrames = 40;
    constexpr int kBt601Frame = 25;
    test::TempDir dir;
    {
        AssetWriter writer(dir / "pooled.mp4");
        const int track = writer.addVideoTrack(
            {.width = kWidth, .height = kHeight, .averageBitRate = 2'000'000, .expectedFrameRate = 30});
        writer.start();
        writer.startSession(MediaTime{});
        PixelBufferPool pool(PixelFormat::yuv420p, kWidth, kHeight);
        PixelBufferPool bt601Pool(PixelFormat::yuv420p, kWidth, kHeight, ColorMatrix::bt601);
        for (int frame = 0; frame < kFrames; ++frame) {
            if (frame == kBt601Frame) {
                PixelBuffer picture = bt601Pool.acquire();
                fill(picture, 120, 70, 190); // an orange whose codes differ between the matrices
                writer.appendVideo(track, picture, MediaTime{frame, 30});
                continue;
            }
            PixelBuffer picture = pool.acquire();
            fill(picture, static_cast<uint8_t>(30 + 4 * frame), 128, 128);
            writer.appendVideo(track, picture, MediaTime{frame, 30});
            fill(pool.acquire(), 0, 0, 0); // scribbles on whatever buffer the pool gives out next
        }
        writer.finish(MediaTime{kFrames, 30});
    }

    const Asset asset = Asset::open(dir / "pooled.mp4");
    VideoTrackReader reader(asset, {.output = VideoOutput::native});
    int frame = 0;
    while (const auto decoded = reader.next()) {
        ASSERT_LT(frame, kFrames);
        if (frame == kBt601Frame) {
            // The same colour in BT.709 codes (114, 76, 187), six codes from the BT.601 ones in
            // luma and blue difference.
            EXPECT_NEAR(centre(decoded->picture, 0), 114, 2);
            EXPECT_NEAR(centre(decoded->picture, 1), 76, 2);
            EXPECT_NEAR(centre(decoded->picture, 2), 187, 2);
        } else {
            EXPECT_NEAR(centre(decoded->picture, 0), 30 + 4 * frame, 2) << "frame " << frame;
            EXPECT_NEAR(centre(decoded->picture, 1), 128, 2) << "frame " << frame;
        }
        ++frame;
    }
    EXPECT_EQ(frame, kFrames);
}

} // namespace
} // namespace vi::media
