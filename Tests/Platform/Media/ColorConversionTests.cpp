#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/PixelBufferPool.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vi::media {
namespace {

struct Reference {
    double kr, kb;
};

// Y'CbCr of one R'G'B' colour by the textbook formulas, in double precision.
std::array<double, 3> referenceYuv(double r, double g, double b, ColorMatrix matrix, ColorRange range)
{
    const Reference k = matrix == ColorMatrix::bt709 ? Reference{0.2126, 0.0722} : Reference{0.299, 0.114};
    const double y = (k.kr * r + (1 - k.kr - k.kb) * g + k.kb * b) / 255;
    const double cb = (b / 255 - y) / (2 * (1 - k.kb));
    const double cr = (r / 255 - y) / (2 * (1 - k.kr));
    if (range == ColorRange::limited)
        return {16 + 219 * y, 128 + 224 * cb, 128 + 224 * cr};
    return {255 * y, 128 + 255 * cb, 128 + 255 * cr};
}

class BgraToYuv : public testing::TestWithParam<std::pair<int, int>> {};

// 38 pixels wide: the vector loops' whole steps and their scalar tails both run; 640 x 362 is
// split into bands over threads, the last one shorter than the rest.
INSTANTIATE_TEST_SUITE_P(Sizes, BgraToYuv, testing::Values(std::pair{38, 6}, std::pair{640, 362}),
                         [](const auto& size) { return std::to_string(size.param.first) + "x" + std::to_string(size.param.second); });

TEST_P(BgraToYuv, MatchesTheFormulasForEveryMatrixAndRange)
{
    const auto [kWidth, kHeight] = GetParam();
    PixelBufferPool bgraPool(PixelFormat::bgra, kWidth, kHeight);
    const PixelBuffer bgra = bgraPool.acquire();
    std::mt19937 random(3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth * 4; ++x)
            bgra.data(0)[y * bgra.stride(0) + x] = static_cast<uint8_t>(random());

    ColorConverter converter;
    for (const ColorMatrix matrix : {ColorMatrix::bt709, ColorMatrix::bt601})
        for (const ColorRange range : {ColorRange::limited, ColorRange::full}) {
            PixelBufferPool yuvPool(PixelFormat::yuv420p, kWidth, kHeight, matrix, range);
            const PixelBuffer yuv = yuvPool.acquire();
            converter.convert(bgra.view(), yuv);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const uint8_t* p = bgra.data(0) + y * bgra.stride(0) + 4 * x;
                    const auto want = referenceYuv(p[2], p[1], p[0], matrix, range);
                    ASSERT_NEAR(yuv.data(0)[y * yuv.stride(0) + x], want[0], 1.0) << x << "," << y;
                }
            for (int y = 0; y < kHeight; y += 2)
                for (int x = 0; x < kWidth; x += 2) {
                    double r = 0, g = 0, b = 0;
                    for (int dy = 0; dy < 2; ++dy)
                        for (int dx = 0; dx < 2; ++dx) {
                            const uint8_t* p = bgra.data(0) + (y + dy) * bgra.stride(0) + 4 * (x + dx);
                            r += p[2] / 4.0, g += p[1] / 4.0, b += p[0] / 4.0;
                        }
                    const auto want = referenceYuv(r, g, b, matrix, range);
                    // The vector path averages with rounding before weighing: within 1.5 codes.
                    ASSERT_NEAR(yuv.data(1)[y / 2 * yuv.stride(1) + x / 2], want[1], 1.5) << x << "," << y;
                    ASSERT_NEAR(yuv.data(2)[y / 2 * yuv.stride(2) + x / 2], want[2], 1.5) << x << "," << y;
                }
        }
}

TEST(ColorConversion, YuvToBgraUsesTheStatedMatrix)
{
    constexpr int kWidth = 640, kHeight = 362; // large enough to be converted in bands
    for (const ColorMatrix matrix : {ColorMatrix::bt709, ColorMatrix::bt601}) {
        PixelBufferPool yuvPool(PixelFormat::yuv420p, kWidth, kHeight, matrix, ColorRange::limited);
        const PixelBuffer yuv = yuvPool.acquire();
        // A flat saturated orange: Y 120, Cb 70, Cr 190.
        std::fill_n(yuv.data(0), yuv.stride(0) * kHeight, uint8_t{120});
        std::fill_n(yuv.data(1), yuv.stride(1) * kHeight / 2, uint8_t{70});
        std::fill_n(yuv.data(2), yuv.stride(2) * kHeight / 2, uint8_t{190});
        PixelBufferPool bgraPool(PixelFormat::bgra, kWidth, kHeight);
        const PixelBuffer bgra = bgraPool.acquire();
        ColorConverter().convert(yuv.view(), bgra);
        const Rgb want = yuvToRgb(120, 70, 190, matrix, ColorRange::limited);
        for (const int row : {0, 91, 92, 200, 361}) {
            const uint8_t* p = bgra.data(0) + row * bgra.stride(0) + 4 * 5;
            EXPECT_NEAR(p[2], want.r, 2) << row;
            EXPECT_NEAR(p[1], want.g, 2) << row;
            EXPECT_NEAR(p[0], want.b, 2) << row;
            EXPECT_EQ(p[3], 255) << row;
        }
    }
}

} // namespace
} // namespace vi::media
