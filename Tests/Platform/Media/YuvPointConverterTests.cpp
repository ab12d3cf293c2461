#include "Platform/Media/YuvPointConverter.h"

#include <gtest/gtest.h>

namespace vi::media {
namespace {

TEST(YuvPointConverter, GivesTheColourOfYuvToRgbForEveryMatrixAndRange)
{
    // Every luma value against a spread of chroma pairs that includes both extremes.
    constexpr int chromaStep = 5;
    for (const auto matrix : {ColorMatrix::bt709, ColorMatrix::bt601}) {
        for (const auto range : {ColorRange::limited, ColorRange::full}) {
            const YuvPointConverter convert(matrix, range);
            int mismatches = 0;
            for (int y = 0; y < 256; ++y) {
                for (int cb = 0; cb < 256; cb += chromaStep) {
                    for (int cr = 0; cr < 256; cr += chromaStep) {
                        const auto Y = static_cast<std::uint8_t>(y);
                        const auto Cb = static_cast<std::uint8_t>(cb);
                        const auto Cr = static_cast<std::uint8_t>(cr);
                        const Rgb fast = convert(Y, Cb, Cr);
                        const Rgb reference = yuvToRgb(Y, Cb, Cr, matrix, range);
                        mismatches += fast.r != reference.r || fast.g != reference.g || fast.b != reference.b;
                    }
                }
            }
            EXPECT_EQ(mismatches, 0) << "matrix " << static_cast<int>(matrix) << ", range " << static_cast<int>(range);
        }
    }
}

} // namespace
} // namespace vi::media
