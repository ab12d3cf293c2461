#include "Platform/Raster/Blend.h"
#include "Platform/Raster/ColorMatrix.h"
#include "Platform/Raster/Composite.h"
#include "Platform/Raster/Gradient.h"
#include "Platform/Raster/Measure.h"
#include "Platform/Raster/Noise.h"
#include "Platform/Raster/Shapes.h"
#include "RasterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vi::raster {
namespace {

using test::makeImage;
using test::opaque;

TEST(RasterComposite, SourceOverUsesCoverageAndOnlyTheOverlap) {
    Bitmap canvas(10, 10);
    canvas.clear(opaque(0, 0, 200));
    // Half-transparent white over blue, partly outside the canvas.
    compositeOver(canvas, solidImage(Color::gray(1, 0.5), {6, -2, 10, 5}));
    EXPECT_EQ(canvas.at(7, 1), (Pixel{228, 128, 128, 255})); // 128 + 200 * 127 / 255
    EXPECT_EQ(canvas.at(5, 1), opaque(0, 0, 200));
    EXPECT_EQ(canvas.at(7, 3), opaque(0, 0, 200));
    // Over transparency a premultiplied pixel comes through unchanged.
    Bitmap empty(4, 4);
    compositeOver(empty, solidImage(Color{1, 0, 0, 0.25}, {0, 0, 4, 4}));
    EXPECT_EQ(empty.at(2, 2), (Pixel{0, 0, 64, 64}));
}

TEST(RasterComposite, MaskBlendShowsInputInsideAndBackgroundOutside) {
    Bitmap background(8, 4);
    background.clear(opaque(0, 255, 0));
    const Image input = solidImage({1, 0, 0, 1}, {0, 0, 6, 4}); // stops short of the right edge
    const Image mask = makeImage(8, 4, [](int x, int) { return x < 2 ? Pixel{} : x < 3 ? Pixel{128, 128, 128, 128} : Pixel{255, 255, 255, 255}; });
    blendWithMask(background, input, mask);
    EXPECT_EQ(background.at(1, 1), opaque(0, 255, 0));
    EXPECT_EQ(background.at(2, 1), (Pixel{0, 127, 128, 255}));
    EXPECT_EQ(background.at(4, 1), opaque(255, 0, 0));
    EXPECT_EQ(background.at(7, 1), Pixel{}); // masked in, but no input there
}

// Source-over one pixel at a time, the definition the vector loop must match bit for bit.
Pixel overReference(Pixel d, Pixel s) {
    auto div255 = [](std::uint32_t v) { return (v + 128 + ((v + 128) >> 8)) >> 8; };
    const std::uint32_t inverse = 255u - s.a;
    auto channel = [&](std::uint8_t sc, std::uint8_t dc) { return std::uint8_t(std::min(255u, sc + div255(dc * inverse))); };
    return {channel(s.b, d.b), channel(s.g, d.g), channel(s.r, d.r), channel(s.a, d.a)};
}

// Overlays are runs of clear, opaque and soft pixels, with colour but no coverage now and then
// (additive light); widths that are no multiple of four leave a tail for the plain loop.
TEST(RasterComposite, SourceOverAndFadedOverMatchThePixelDefinition) {
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u, std::uint8_t(seed >> 24); };
    auto overlayPixel = [&](int x, int y) {
        switch ((x / 5 + y) % 4) {
        case 0: return Pixel{};
        case 1: return opaque(next(), next(), next());
        case 2: {
            const std::uint8_t a = next();
            return Pixel{std::uint8_t(next() % (a + 1)), std::uint8_t(next() % (a + 1)), std::uint8_t(next() % (a + 1)), a};
        }
        default: return Pixel{next(), next(), next(), 0};
        }
    };
    for (const int width : {1, 4, 7, 33}) {
        const Image source = makeImage(width, 6, overlayPixel, {2, 1});
        const Image under = makeImage(width + 4, 9, [&](int, int) { return Pixel{next(), next(), next(), next()}; });
        for (const double opacity : {1.0, 0.6, 0.004}) {
            SCOPED_TRACE(testing::Message() << "width " << width << ", opacity " << opacity);
            Bitmap direct = Bitmap::copyOf(under);
            compositeOver(direct, source, opacity);
            Bitmap viaFade = Bitmap::copyOf(under);
            compositeOver(viaFade, fade(source, opacity));
            for (int y = 0; y < under.height(); ++y) {
                for (int x = 0; x < under.width(); ++x) {
                    const Pixel expected = overReference(under.at(x, y), fade(source, opacity).at(x, y));
                    ASSERT_EQ(direct.at(x, y), expected) << "at " << x << ", " << y;
                    ASSERT_EQ(viaFade.at(x, y), expected) << "at " << x << ", " << y;
                }
            }
        }
    }
}

TEST(RasterColor, FadeScalesEveryChannelAndFullOpacityIsFree) {
    const Image image = solidImage({1, 0.5, 0, 1}, {0, 0, 2, 2});
    EXPECT_TRUE(fade(image, 1.0).sharesPixelsWith(image));
    EXPECT_EQ(fade(image, 0.5).at(1, 1), (Pixel{0, 64, 128, 128}));
    EXPECT_EQ(fade(image, 0).at(1, 1), Pixel{});
    EXPECT_EQ(fade(image, 0).extent(), image.extent());
}

TEST(RasterColor, ColorMatrixWorksOnStraightColour) {
    // Every channel takes green, alpha becomes a fixed 0.25: grey noise at a given strength.
    ColorMatrix grey;
    grey.red = grey.green = grey.blue = {0, 1, 0, 0};
    grey.alpha = {0, 0, 0, 0};
    grey.bias = {0, 0, 0, 0.25};
    const Image image = solidImage({0.2, 0.8, 0.4, 0.5}, {0, 0, 1, 1});
    const Pixel p = applyColorMatrix(image, grey).at(0, 0);
    EXPECT_EQ(p.a, 64);
    EXPECT_NEAR(p.g, 0.8 * 64, 1);
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.b, p.g);
}

TEST(RasterGradient, LinearGradientInterpolatesAlongItsLineAndExtends) {
    const LinearGradient gradient{{0, 0}, {100, 0}, GradientRamp::between({0, 0, 0, 1}, {1, 1, 1, 1})};
    const Image image = renderGradient(gradient, {-20, 0, 140, 2});
    EXPECT_EQ(image.at(-20, 0), opaque(0, 0, 0));
    EXPECT_NEAR(image.at(50, 0).g, 128, 1); // centre 50.5
    EXPECT_NEAR(image.at(25, 1).g, 65, 1);
    EXPECT_EQ(image.at(119, 1), opaque(255, 255, 255));
    LinearGradient clipped = gradient;
    clipped.ramp.extendBefore = clipped.ramp.extendAfter = false;
    const Image none = renderGradient(clipped, {-20, 0, 140, 1});
    EXPECT_EQ(none.at(-1, 0), Pixel{});
    EXPECT_EQ(none.at(100, 0), Pixel{});
    EXPECT_EQ(none.at(99, 0).a, 255);
}

TEST(RasterGradient, RadialGradientFadesAGlowToNothing) {
    // A glow at alpha 0.5 in the middle, gone at radius 40.
    const RadialGradient glow{{50, 50}, 0, 40, GradientRamp::between({1, 0.5, 0, 0.5}, {1, 0.5, 0, 0})};
    const Image image = renderGradient(glow, {0, 0, 100, 100});
    EXPECT_NEAR(image.at(50, 50).a, 127, 2);
    EXPECT_NEAR(image.at(70, 50).a, 64, 2); // centre 20.5 away: (1 - 20.5/40) x 127.5
    EXPECT_EQ(image.at(95, 50), Pixel{});
    EXPECT_EQ(image.at(0, 0), Pixel{});
    // Multi-stop ramps with uneven locations.
    const RadialGradient rings{{0, 0}, 0, 10, {{{0, {1, 0, 0, 1}}, {0.5, {0, 1, 0, 1}}, {1, {0, 0, 1, 1}}}}};
    const Image ringImage = renderGradient(rings, {0, 0, 12, 1});
    EXPECT_GT(ringImage.at(4, 0).g, 200);
    EXPECT_EQ(ringImage.at(11, 0), opaque(0, 0, 255));
}

TEST(RasterShapes, RoundedRectangleIsAntialiasedAtFractionalEdges) {
    const Image shape = roundedRectangle({10.25, 20.5, 50, 30}, 8, {1, 1, 1, 1});
    EXPECT_EQ(shape.extent(), (IntRect{10, 20, 51, 31}));
    EXPECT_EQ(shape.at(35, 35).a, 255);
    EXPECT_NEAR(shape.at(10, 35).a, 191, 2); // three quarters of the left column
    EXPECT_NEAR(shape.at(35, 20).a, 128, 2); // half of the top row
    EXPECT_NEAR(shape.at(60, 35).a, 64, 2);  // a quarter of the right column
    EXPECT_EQ(shape.at(10, 20).a, 0);        // the corner is cut away by the radius
    // Pixel (12, 22) has its centre 8.31 from the corner arc's centre (18.25, 28.5), 0.31 outside
    // the arc of radius 8, so it keeps 0.5 - 0.31 of full cover.
    EXPECT_NEAR(shape.at(12, 22).a, 48, 2);
    // The radius is limited to half the shorter side: a pill, not a bulge.
    const Image pill = roundedRectangle({0, 0, 40, 10}, 100, {0, 0, 0, 1});
    EXPECT_EQ(pill.at(20, 5).a, 255);
    EXPECT_EQ(pill.at(0, 0).a, 0);
    EXPECT_GT(pill.at(1, 5).a, 100);
}

TEST(RasterMeasure, MeanLumaOfAnArea) {
    const Image image = makeImage(4, 2, [](int x, int) { return x < 2 ? opaque(255, 255, 255) : opaque(0, 0, 0); });
    EXPECT_DOUBLE_EQ(meanLuma(image, {0, 0, 2, 2}), 1.0);
    EXPECT_NEAR(meanLuma(image, {0, 0, 4, 2}), 128 / 255.0, 1e-9); // 127.5 rounds to 128
    EXPECT_NEAR(meanLuma(image, {0, 0, 8, 2}), 64 / 255.0, 1e-9);  // outside counts as transparent
    const Image green = solidImage({0, 1, 0, 1}, {0, 0, 3, 3});
    EXPECT_NEAR(meanLuma(green, {0, 0, 3, 3}), 0.7152, 1e-9);
    EXPECT_EQ(meanLuma(green, {0, 0, 0, 3}), 0.0);
}

TEST(RasterBlend, SoftLightDarkensLightensAndLeavesMidGrey) {
    auto blended = [](std::uint8_t backdrop, double source, double alpha) {
        Bitmap canvas(1, 1);
        canvas.at(0, 0) = opaque(backdrop, backdrop, backdrop);
        softLightBlend(canvas, solidImage(Color::gray(source, alpha), {0, 0, 1, 1}));
        return int(canvas.at(0, 0).g);
    };
    EXPECT_EQ(blended(100, 0.5, 1), 100);
    EXPECT_LT(blended(100, 0.1, 1), 80);
    EXPECT_GT(blended(100, 0.9, 1), 120);
    // A faint source only nudges: the effect scales with its alpha.
    const int faint = blended(100, 0.0, 0.05);
    EXPECT_LT(faint, 100);
    EXPECT_GE(faint, 97);
    // W3C soft light of backdrop 0.2 under source 1: 0.2 + (D(0.2) - 0.2) with D = ((16b - 12) b + 4) b.
    const double b = 100 / 255.0;
    EXPECT_EQ(blended(100, 1.0, 1), int(std::lround(255 * (b + (std::sqrt(b) - b)))));
}

TEST(RasterNoise, DeterministicUniformAndIndependentOfTheArea) {
    const Image a = noiseImage({0, 0, 256, 256}, 42);
    const Image b = noiseImage({0, 0, 256, 256}, 42);
    const Image part = noiseImage({100, 50, 10, 10}, 42);
    const Image other = noiseImage({0, 0, 256, 256}, 43);
    int differ = 0;
    double sum = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(a.at(x, y), b.at(x, y));
            EXPECT_EQ(a.at(x, y).a, 255);
            differ += a.at(x, y) == other.at(x, y) ? 0 : 1;
            sum += a.at(x, y).g;
        }
    }
    for (int y = 50; y < 60; ++y) {
        for (int x = 100; x < 110; ++x) {
            ASSERT_EQ(part.at(x, y), a.at(x, y));
        }
    }
    EXPECT_GT(differ, 65000);
    EXPECT_NEAR(sum / (256 * 256), 127.5, 1.5);
}

} // namespace
} // namespace vi::raster
