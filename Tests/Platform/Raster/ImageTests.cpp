#include "Platform/Raster/Image.h"
#include "RasterTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vi::raster {
namespace {

using test::makeImage;
using test::opaque;

TEST(RasterImage, CanvasCoordinatesFollowTheOriginAndOutsideIsTransparent) {
    const Image image = makeImage(4, 3, [](int x, int y) { return opaque(std::uint8_t(x), std::uint8_t(y), 7); }, {10, 20});
    EXPECT_EQ(image.extent(), (IntRect{10, 20, 4, 3}));
    EXPECT_EQ(image.at(10, 20), opaque(0, 0, 7));
    EXPECT_EQ(image.at(13, 22), opaque(3, 2, 7));
    EXPECT_EQ(image.at(14, 22), Pixel{});
    EXPECT_EQ(image.at(9, 20), Pixel{});

    const Image moved = image.translated(-10, 5);
    EXPECT_TRUE(moved.sharesPixelsWith(image));
    EXPECT_EQ(moved.at(3, 27), opaque(3, 2, 7));
}

TEST(RasterImage, CroppingSharesPixelsAndClipsToTheExtent) {
    const Image image = makeImage(8, 8, [](int x, int y) { return opaque(std::uint8_t(x), std::uint8_t(y), 0); }, {-2, -2});
    const Image part = image.cropped({0, 1, 100, 2});
    EXPECT_EQ(part.extent(), (IntRect{0, 1, 6, 2}));
    EXPECT_EQ(part.at(0, 1), opaque(2, 3, 0));
    EXPECT_EQ(part.at(5, 2), opaque(7, 4, 0));
    EXPECT_EQ(part.at(0, 0), Pixel{}); // cut away
    EXPECT_TRUE(image.cropped({50, 50, 4, 4}).isNull());
}

TEST(RasterImage, ARegionDrawsIntoItsPartOfTheWholeAndClips) {
    Bitmap whole(6, 5, {10, 10});
    whole.clear(opaque(1, 1, 1));
    Bitmap part = whole.region({13, 11, 10, 2}); // reaches past the right edge
    ASSERT_EQ(part.extent(), (IntRect{13, 11, 3, 2}));
    part.clear(opaque(9, 9, 9));
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 3 && y >= 1 && y < 3;
            EXPECT_EQ(whole.at(x, y), inside ? opaque(9, 9, 9) : opaque(1, 1, 1)) << x << ", " << y;
        }
    }
    EXPECT_TRUE(whole.region({0, 0, 5, 5}).isNull());
}

TEST(RasterImage, FreezingHandsThePixelsOverAndCopiesAreIndependent) {
    Bitmap bitmap(2, 2, {1, 1});
    bitmap.clear(opaque(1, 2, 3));
    const Image frozen = std::move(bitmap).freeze();
    EXPECT_TRUE(bitmap.isNull());
    EXPECT_EQ(frozen.at(2, 2), opaque(1, 2, 3));

    Bitmap copy = Bitmap::copyOf(frozen);
    copy.at(0, 0) = opaque(9, 9, 9);
    EXPECT_EQ(frozen.at(1, 1), opaque(1, 2, 3));
    EXPECT_EQ(copy.extent(), frozen.extent());
}

TEST(RasterImage, RejectsImpossibleSizes) {
    EXPECT_THROW(Bitmap(-1, 4), std::length_error);
    EXPECT_THROW(Bitmap(100000, 100000), std::length_error);
    EXPECT_NO_THROW(Bitmap(0, 0));
}

TEST(RasterImage, ColoursArePremultipliedAndRounded) {
    EXPECT_EQ((Color{1, 0.5, 0, 0.5}.pixel()), (Pixel{0, 64, 128, 128}));
    EXPECT_EQ((Color{2, -1, 0.2, 1}.pixel()), (Pixel{51, 0, 255, 255})); // out-of-range channels clamp
    const Image solid = solidImage(Color::gray(1, 0.25), {3, 4, 2, 2});
    EXPECT_EQ(solid.at(4, 5), (Pixel{64, 64, 64, 64}));
}

} // namespace
} // namespace vi::raster
