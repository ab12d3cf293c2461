#include "Platform/Media/BgraToYuv.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vi::media {
namespace {

// The wide loops must give exactly the narrow loops' bytes (whose accuracy the colour conversion
// tests check against the formulas), at widths that end a wide step exactly, short of one, and
// in the narrow loop's and the scalar tail's leftovers, with padded rows.
TEST(BgraToYuv, TheWideLoopsGiveTheNarrowLoopsBytes)
{
    std::mt19937 random(9);
    for (const int width : {2, 8, 14, 16, 18, 24, 30, 32, 46, 64, 98, 322})
        for (const ColorMatrix matrix : {ColorMatrix::bt709, ColorMatrix::bt601})
            for (const ColorRange range : {ColorRange::limited, ColorRange::full}) {
                constexpr int kHeight = 6, kPadding = 12;
                const int bgraStride = 4 * width + kPadding, lumaStride = width + kPadding,
                          chromaStride = width / 2 + kPadding;
                std::vector<uint8_t> bgra(size_t(bgraStride * kHeight));
                for (uint8_t& byte : bgra)
                    byte = static_cast<uint8_t>(random());
                const ImageView source = ImageView::bgra(bgra.data(), width, kHeight, bgraStride);
                auto convert = [&](bool widest) {
                    std::vector<uint8_t> planes(size_t(lumaStride * kHeight + 2 * chromaStride * kHeight / 2), 0x5A);
                    const ImageView yuv{PixelFormat::yuv420p,
                                        width,
                                        kHeight,
                                        {planes.data(), planes.data() + lumaStride * kHeight,
                                         planes.data() + lumaStride * kHeight + chromaStride * kHeight / 2},
                                        {lumaStride, chromaStride, chromaStride}};
                    detail::bgraToYuv420(source, yuv, matrix, range, widest);
                    return planes;
                };
                ASSERT_EQ(convert(true), convert(false)) << "width " << width;
            }
}

} // namespace
} // namespace vi::media
