#include "Platform/Raster/Blur.h"
#include "RasterTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vi::raster {
namespace {

using test::makeImage;
using test::opaque;

// Where a rising profile crosses `level` (linear interpolation between samples).
double crossing(const std::vector<double>& profile, double level) {
    for (std::size_t i = 1; i < profile.size(); ++i) {
        if (profile[i - 1] < level && profile[i] >= level) {
            return double(i - 1) + (level - profile[i - 1]) / (profile[i] - profile[i - 1]);
        }
    }
    return NAN;
}

// A blurred step edge follows the Gaussian's integral: it passes from 15.87% to 84.13% of
// its height over exactly two standard deviations.
double measuredSigma(const Image& blurred, int row) {
    std::vector<double> profile;
    for (int x = blurred.extent().x; x < blurred.extent().right(); ++x) {
        profile.push_back(blurred.at(x, row).a / 255.0);
    }
    return (crossing(profile, 0.841345) - crossing(profile, 0.158655)) / 2.0;
}

TEST(RasterBlur, StepEdgeSpreadsByTheRequestedSigma) {
    // Exact kernels and box passes alike, from shadow-sized to wallpaper-sized sigmas.
    for (const double sigma : {1.5, 4.0, 8.0, 12.0, 42.0}) {
        const int width = int(16 * sigma) + 40;
        const Image step = makeImage(width, 3, [&](int x, int) { return x >= width / 2 ? opaque(255, 255, 255) : Pixel{}; });
        const Image blurred = gaussianBlur(step, sigma, Edges::clamp);
        EXPECT_NEAR(measuredSigma(blurred, 1), sigma, sigma * 0.03) << "sigma " << sigma;
    }
}

TEST(RasterBlur, ClampedEdgesKeepBordersAndTheExtent) {
    const Image flat = makeImage(40, 30, [](int, int) { return opaque(200, 100, 50); }, {5, 6});
    for (const double sigma : {2.0, 20.0}) {
        const Image blurred = gaussianBlur(flat, sigma, Edges::clamp);
        EXPECT_EQ(blurred.extent(), flat.extent());
        for (const auto& [x, y] : {std::pair{5, 6}, {44, 35}, {25, 20}}) {
            EXPECT_EQ(blurred.at(x, y), opaque(200, 100, 50)) << "sigma " << sigma << " at " << x << "," << y;
        }
    }
}

TEST(RasterBlur, TransparentEdgesGrowTheExtentAndFadeOut) {
    const Image square = makeImage(80, 80, [](int, int) { return Pixel{0, 0, 0, 255}; }, {100, 100});
    const double sigma = 6.0;
    const Image shadow = gaussianBlur(square, sigma, Edges::transparent);
    const int reach = blurReach(sigma);
    EXPECT_EQ(reach, 18);
    EXPECT_EQ(shadow.extent(), (IntRect{100 - reach, 100 - reach, 80 + 2 * reach, 80 + 2 * reach}));
    // The edge pixel keeps the inner half of the kernel plus half its own tap,
    // 0.5 + 1 / (2 sqrt(2 pi) 6) = 0.533; a corner pixel that squared.
    EXPECT_NEAR(shadow.at(100, 140).a, 136, 2);
    EXPECT_NEAR(shadow.at(100, 100).a, 72, 2);
    EXPECT_EQ(shadow.at(140, 140).a, 255);
    EXPECT_LE(shadow.at(100 - reach, 140).a, 1);
}

TEST(RasterBlur, PremultipliedColourNeverExceedsCoverage) {
    const Image dots = makeImage(31, 31, [](int x, int y) {
        return (x % 7 == 0 && y % 5 == 0) ? Pixel{255, 255, 255, 255} : Pixel{};
    });
    const Image blurred = gaussianBlur(dots, 2.3, Edges::transparent);
    for (int y = blurred.extent().y; y < blurred.extent().bottom(); ++y) {
        for (int x = blurred.extent().x; x < blurred.extent().right(); ++x) {
            const Pixel p = blurred.at(x, y);
            ASSERT_LE(std::max({p.r, p.g, p.b}), p.a) << x << "," << y;
        }
    }
}

TEST(RasterBlur, ThreadCountDoesNotChangeThePixels) {
    const Image noise = makeImage(97, 61, [](int x, int y) {
        const auto v = std::uint8_t((x * 73 + y * 151) % 256);
        return Pixel{v, std::uint8_t(v / 2), std::uint8_t(255 - v), 255};
    });
    WorkerPool single(1);
    WorkerPool several(4);
    for (const double sigma : {3.0, 15.0}) {
        const Image a = gaussianBlur(noise, sigma, Edges::clamp, single);
        const Image b = gaussianBlur(noise, sigma, Edges::clamp, several);
        for (int y = 0; y < noise.height(); ++y) {
            for (int x = 0; x < noise.width(); ++x) {
                ASSERT_EQ(a.at(x, y), b.at(x, y));
            }
        }
    }
}

TEST(RasterBlur, NothingToDoGivesTheSameImage) {
    const Image image = makeImage(3, 3, [](int, int) { return opaque(1, 2, 3); });
    EXPECT_TRUE(gaussianBlur(image, 0).sharesPixelsWith(image));
    EXPECT_TRUE(gaussianBlur(image, NAN).sharesPixelsWith(image));
    EXPECT_TRUE(gaussianBlur(Image{}, 5).isNull());
}

} // namespace
} // namespace vi::raster
