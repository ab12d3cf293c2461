#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace vi::media {
namespace {

struct Patch {
    uint8_t r, g, b;
};

// Saturated primaries, a skin tone, greys and near-black and near-white, where a wrong matrix or
// range shows most.
constexpr std::array<Patch, 8> kPatches{{{200, 40, 40}, {40, 180, 60}, {50, 70, 210}, {128, 128, 128},
                                         {235, 200, 160}, {20, 20, 20}, {250, 250, 250}, {240, 200, 30}}};
constexpr int kWidth = 320, kHeight = 180, kColumns = 4, kRows = 2;
// Within this of the colour written, per channel, after 4:2:0 and compression.
constexpr int kChannelTolerance = 5;

Patch averageAt(const PixelBuffer& bgra, int column, int row)
{
    const int w = kWidth / kColumns, h = kHeight / kRows;
    long sum[3] = {};
    int count = 0;
    for (int y = row * h + h / 3; y < row * h + 2 * h / 3; ++y)
        for (int x = column * w + w / 3; x < column * w + 2 * w / 3; ++x) {
            const uint8_t* pixel = bgra.data(0) + y * bgra.stride(0) + 4 * x;
            sum[0] += pixel[2], sum[1] += pixel[1], sum[2] += pixel[0];
            ++count;
        }
    return {static_cast<uint8_t>(sum[0] / count), static_cast<uint8_t>(sum[1] / count),
            static_cast<uint8_t>(sum[2] / count)};
}

TEST(ColorRoundTrip, PatchesComeBackTheColourTheyWentIn)
{
    test::TempDir dir;
    AssetWriter writer(dir / "patches.mp4");
    const int track = writer.addVideoTrack({.width = kWidth, .height = kHeight, .averageBitRate = 2'000'000,
                                            .expectedFrameRate = 30});
    writer.start();
    writer.startSession(MediaTime{});
    for (int frame = 0; frame < 3; ++frame) {
        PixelBuffer picture = writer.pixelBufferPool(track).acquire();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Patch& p = kPatches[static_cast<size_t>((y / (kHeight / kRows)) * kColumns + x / (kWidth / kColumns))];
                uint8_t* pixel = picture.data(0) + y * picture.stride(0) + 4 * x;
                pixel[0] = p.b, pixel[1] = p.g, pixel[2] = p.r, pixel[3] = 255;
            }
        writer.appendVideo(track, picture, MediaTime{frame, 30});
    }
    writer.finish(MediaTime{3, 30});

    const Asset asset = Asset::open(dir / "patches.mp4");
    VideoTrackReader bgra(asset);
    const auto frame = bgra.next();
    ASSERT_TRUE(frame);
    for (size_t k = 0; k < kPatches.size(); ++k) {
        const Patch got = averageAt(frame->picture, static_cast<int>(k) % kColumns, static_cast<int>(k) / kColumns);
        EXPECT_NEAR(got.r, kPatches[k].r, kChannelTolerance) << "patch " << k;
        EXPECT_NEAR(got.g, kPatches[k].g, kChannelTolerance) << "patch " << k;
        EXPECT_NEAR(got.b, kPatches[k].b, kChannelTolerance) << "patch " << k;
    }

    // The stored luma is BT.709 limited range: the red patch's Y is 79.6 there (91.4 under
    // BT.601, 74.0 in full range), and white-ish 250 sits near 231, not 250.
    VideoTrackReader native(asset, {.output = VideoOutput::native});
    const auto planes = native.next();
    ASSERT_TRUE(planes);
    auto lumaAt = [&](int column, int row) {
        const int x = column * kWidth / kColumns + kWidth / kColumns / 2;
        const int y = row * kHeight / kRows + kHeight / kRows / 2;
        return static_cast<int>(planes->picture.data(0)[y * planes->picture.stride(0) + x]);
    };
    EXPECT_NEAR(lumaAt(0, 0), 80, 2);
    EXPECT_NEAR(lumaAt(2, 1), 231, 2);

    // The single-point conversion agrees with the whole-picture one.
    const int x = kWidth / kColumns / 2, y = kHeight / kRows / 2;
    const PixelBuffer& yuv = planes->picture;
    const Rgb point = yuvToRgb(yuv.data(0)[y * yuv.stride(0) + x], yuv.data(1)[y / 2 * yuv.stride(1) + x / 2],
                               yuv.data(2)[y / 2 * yuv.stride(2) + x / 2], yuv.matrix(), yuv.range());
    EXPECT_NEAR(point.r, kPatches[0].r, kChannelTolerance);
    EXPECT_NEAR(point.g, kPatches[0].g, kChannelTolerance);
    EXPECT_NEAR(point.b, kPatches[0].b, kChannelTolerance);
}

} // namespace
} // namespace vi::media
