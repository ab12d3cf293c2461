#include "RecordCore/ActivityAnalyzer.h"

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/PixelBuffer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vi {
namespace {

// A 4 x 2 picture in 4:2:0: two 2 x 2 chroma blocks, left and right, in both planar layouts.
struct YuvPicture {
    std::array<std::uint8_t, 4 * 2> luma{};
    std::array<std::uint8_t, 2> blue{};
    std::array<std::uint8_t, 2> red{};
    std::array<std::uint8_t, 4> interleaved{};

    media::ImageView planar(media::ColorMatrix matrix, media::ColorRange range) const
    {
        media::ImageView view;
        view.format = media::PixelFormat::yuv420p;
        view.width = 4;
        view.height = 2;
        view.data = {luma.data(), blue.data(), red.data()};
        view.stride = {4, 2, 2};
        view.matrix = matrix;
        view.range = range;
        return view;
    }

    media::ImageView nv12(media::ColorMatrix matrix, media::ColorRange range) const
    {
        media::ImageView view = planar(matrix, range);
        view.format = media::PixelFormat::nv12;
        view.data = {luma.data(), interleaved.data(), nullptr};
        view.stride = {4, 4, 0};
        return view;
    }
};

std::uint8_t expectedLuma(std::uint8_t y, std::uint8_t cb, std::uint8_t cr, media::ColorMatrix matrix,
                          media::ColorRange range)
{
    const media::Rgb rgb = media::yuvToRgb(y, cb, cr, matrix, range);
    return static_cast<std::uint8_t>((19 * rgb.b + 183 * rgb.g + 54 * rgb.r) >> 8);
}

TEST(ActivityPictureGrid, WeighsYuvPointsAsTheirBgraColourWithTheChromaOfTheirBlock)
{
    YuvPicture picture;
    picture.luma = {40, 60, 120, 140, 50, 70, 130, 150};
    picture.blue = {90, 200};
    picture.red = {220, 60};
    picture.interleaved = {90, 220, 200, 60};
    for (const auto matrix : {media::ColorMatrix::bt709, media::ColorMatrix::bt601}) {
        for (const auto range : {media::ColorRange::limited, media::ColorRange::full}) {
            std::array<std::uint8_t, 8> expected{};
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 4; ++x) {
                    const auto i = static_cast<std::size_t>(y * 4 + x);
                    const auto block = static_cast<std::size_t>(x / 2);
                    expected[i] = expectedLuma(picture.luma[i], picture.blue[block], picture.red[block], matrix, range);
                }
            }
            std::array<std::uint8_t, 8> planarGrid{};
            std::array<std::uint8_t, 8> nv12Grid{};
            ActivityAnalyzer::lumaGrid(picture.planar(matrix, range), 4, 2, planarGrid);
            ActivityAnalyzer::lumaGrid(picture.nv12(matrix, range), 4, 2, nv12Grid);
            EXPECT_EQ(planarGrid, expected);
            EXPECT_EQ(nv12Grid, expected);
        }
    }
}

TEST(ActivityPictureGrid, VideoRangeGreysSpanTheWholeBrightnessScale)
{
    // Limited-range black and white (Y 16 and 235) are 0 and 255 once turned into colour: the
    // change thresholds see the same differences as in the BGRA pictures they were made from.
    YuvPicture picture;
    picture.luma = {16, 16, 235, 235, 16, 16, 235, 235};
    picture.blue = {128, 128};
    picture.red = {128, 128};
    std::array<std::uint8_t, 8> grid{};
    ActivityAnalyzer::lumaGrid(picture.planar(media::ColorMatrix::bt709, media::ColorRange::limited), 4, 2, grid);
    EXPECT_EQ(grid, (std::array<std::uint8_t, 8>{0, 0, 255, 255, 0, 0, 255, 255}));
}

TEST(ActivityPictureGrid, PictureWithoutPixelsLeavesTheGridAsItWas)
{
    YuvPicture picture;
    media::ImageView missingChroma = picture.planar(media::ColorMatrix::bt709, media::ColorRange::limited);
    missingChroma.data[2] = nullptr;
    media::ImageView zeroHigh = picture.nv12(media::ColorMatrix::bt709, media::ColorRange::limited);
    zeroHigh.height = 0;
    const media::ImageView emptyBgra = media::ImageView::bgra(nullptr, 0, 0, 0);
    for (const media::ImageView& view : {missingChroma, zeroHigh, emptyBgra}) {
        std::array<std::uint8_t, 8> grid;
        grid.fill(0x5A);
        ActivityAnalyzer::lumaGrid(view, 4, 2, grid);
        EXPECT_EQ(grid, (std::array<std::uint8_t, 8>{0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}));
    }
}

} // namespace
} // namespace vi
