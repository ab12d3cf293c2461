// The window laid on the backdrop in place gives what laying a separately drawn picture
// through the mask gives.
#include "RecordCore/WindowComposite.h"

#include "Platform/Raster/Composite.h"
#include "RecordCore/CompositorShapes.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vi {
namespace {

using raster::Bitmap;
using raster::Image;
using raster::IntRect;
using raster::Pixel;

Image noise(const IntRect& extent, std::uint32_t seed) {
    Bitmap bitmap(extent);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const auto a = std::uint8_t(seed >> 24 | 0x80);
            bitmap.at(x, y) = {std::uint8_t((seed >> 8) % (a + 1u)), std::uint8_t((seed >> 16) % (a + 1u)),
                               std::uint8_t(seed % (a + 1u)), a};
        }
    }
    return std::move(bitmap).freeze();
}

TEST(WindowComposite, InPlaceEqualsThePictureBlendedThroughTheMaskOverTheBackdrop) {
    constexpr int width = 96;
    constexpr int height = 64;
    // Fractional edges, so that the mask has soft columns and rows as well as corners.
    const Image mask = stretchedRoundedRectangle({10.4, 7.7, 70.3, 48.6}, 9.5, raster::Color::gray(1, 1));
    const WindowComposite window(mask);
    const Image backdrop = noise({0, 0, width, height}, 7);
    const IntRect maskArea = mask.extent();
    struct Case {
        const char* name;
        IntRect drawn;
    };
    const Case cases[] = {
        {"the picture covers the mask", maskArea},
        {"the picture stops short of the mask", {maskArea.x + 3, maskArea.y + 2, maskArea.width - 9, maskArea.height - 5}},
        {"the picture reaches beyond the mask", {maskArea.x - 4, maskArea.y - 3, maskArea.width + 8, maskArea.height + 6}},
        {"no picture", {}},
    };
    raster::WorkerPool pool(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image picture = c.drawn.isEmpty() ? Image{} : noise(c.drawn, 99);
        // The canvas holds an earlier frame; the picture is drawn into its place.
        Bitmap canvas = Bitmap::copyOf(noise({0, 0, width, height}, 3));
        Bitmap place = canvas.region(c.drawn);
        for (int y = 0; y < place.height(); ++y) {
            for (int x = 0; x < place.width(); ++x) place.at(x, y) = picture.at(place.origin().x + x, place.origin().y + y);
        }
        window.compose(canvas, backdrop, c.drawn, pool);

        Bitmap expected = Bitmap::copyOf(backdrop);
        raster::blendWithMask(expected, picture, mask);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) ASSERT_EQ(canvas.at(x, y), expected.at(x, y)) << "at " << x << ", " << y;
        }
    }
}

} // namespace
} // namespace vi
