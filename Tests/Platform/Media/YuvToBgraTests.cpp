#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/YuvToBgra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace vi::media {
namespace {

// Planes of any size with padding after every row, filled so that each chroma sample and each
// luma sample takes a value from `values` in turn (or random bytes when `values` is empty).
struct Planes {
    int width, height;
    std::array<int, 3> stride;
    std::array<std::vector<uint8_t>, 3> bytes;

    Planes(int w, int h, int padding) : width(w), height(h)
    {
        const int chromaWidth = (w + 1) / 2, chromaHeight = (h + 1) / 2;
        stride = {w + padding, chromaWidth + padding, chromaWidth + padding};
        bytes[0].assign(static_cast<size_t>(stride[0] * h), 0);
        bytes[1].assign(static_cast<size_t>(stride[1] * chromaHeight), 0);
        bytes[2].assign(static_cast<size_t>(stride[2] * chromaHeight), 0);
    }
    uint8_t& at(int plane, int x, int y) { return bytes[size_t(plane)][size_t(y * stride[size_t(plane)] + x)]; }
    ImageView view() const
    {
        return {PixelFormat::yuv420p, width, height, {bytes[0].data(), bytes[1].data(), bytes[2].data()}, stride};
    }
};

// Bytes past each row that libswscale's output loops may write.
constexpr int kLibraryOverwrite = 64;

struct Bgra {
    int width, height, stride;
    std::vector<uint8_t> bytes;
    Bgra(int w, int h, int padding) : width(w), height(h), stride(4 * w + padding), bytes(size_t(stride * h), 0xAB) {}
    const uint8_t* pixel(int x, int y) const { return bytes.data() + y * stride + 4 * x; }
    ImageView view() const { return ImageView::bgra(bytes.data(), width, height, stride); }
};

// The sample values where rounding and clamping go wrong first: the ends of the code range,
// limited range's black and white and chroma extremes, the centre, and one step either side.
const std::vector<uint8_t> kCornerValues{0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 239, 240, 241, 254, 255};

// Fills the luma with every corner value against every pair of corner chroma values (the
// picture is tiled with them), then the rest with noise.
void fillCorners(Planes& p, std::mt19937& random)
{
    size_t k = 0;
    for (int y = 0; y < (p.height + 1) / 2; ++y)
        for (int x = 0; x < (p.width + 1) / 2; ++x, ++k) {
            const size_t n = kCornerValues.size();
            p.at(1, x, y) = k < n * n ? kCornerValues[k % n] : static_cast<uint8_t>(random());
            p.at(2, x, y) = k < n * n ? kCornerValues[(k / n) % n] : static_cast<uint8_t>(random());
        }
    k = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x, ++k)
            p.at(0, x, y) = k < 4 * kCornerValues.size() * kCornerValues.size() ? kCornerValues[(k / 3) % kCornerValues.size()]
                                                                               : static_cast<uint8_t>(random());
}

// The exact colour of each pixel from the sample on its top left, in double precision.
void expectMatchesReference(const Planes& yuv, const Bgra& bgra, ColorMatrix matrix, const char* what)
{
    auto& p = const_cast<Planes&>(yuv);
    for (int y = 0; y < yuv.height; ++y)
        for (int x = 0; x < yuv.width; ++x) {
            const Rgb want = yuvToRgb(p.at(0, x, y), p.at(1, x / 2, y / 2), p.at(2, x / 2, y / 2), matrix,
                                      ColorRange::limited);
            const uint8_t* got = bgra.pixel(x, y);
            ASSERT_NEAR(got[2], want.r, 1) << what << " at " << x << "," << y;
            ASSERT_NEAR(got[1], want.g, 1) << what << " at " << x << "," << y;
            ASSERT_NEAR(got[0], want.b, 1) << what << " at " << x << "," << y;
            ASSERT_EQ(got[3], 255) << what << " at " << x << "," << y;
        }
    // Padding after each row is left alone.
    for (int y = 0; y < bgra.height; ++y)
        for (int b = 4 * bgra.width; b < bgra.stride; ++b)
            ASSERT_EQ(bgra.bytes[size_t(y * bgra.stride + b)], 0xAB) << what << " row " << y;
}

void runRows(detail::YuvRowsLoop loop, const Planes& yuv, const Bgra& bgra, ColorMatrix matrix)
{
    const detail::YuvToBgraTerms& terms = detail::yuvToBgraTerms(matrix);
    auto& p = const_cast<Planes&>(yuv);
    for (int y = 0; y < yuv.height; y += 2) {
        detail::YuvRows rows{};
        rows.rows = std::min(2, yuv.height - y);
        rows.width = yuv.width;
        rows.cb = &p.at(1, 0, y / 2);
        rows.cr = &p.at(2, 0, y / 2);
        for (int row = 0; row < rows.rows; ++row) {
            rows.luma[row] = &p.at(0, 0, y + row);
            rows.bgra[row] = const_cast<uint8_t*>(bgra.pixel(0, y + row));
        }
        loop(terms, rows);
    }
}

struct Shape {
    int width, height, padding;
};

// One pixel; single rows and columns; odd sides that leave a half-covered chroma sample; widths
// that end a vector step exactly and one short or past it; padded strides.
const std::vector<Shape> kShapes{{1, 1, 0},   {1, 7, 3},   {33, 1, 5},  {2, 2, 0},   {15, 3, 1},
                                 {16, 4, 0},  {17, 5, 7},  {31, 2, 0},  {32, 6, 64}, {33, 9, 2},
                                 {63, 11, 1}, {64, 2, 0},  {97, 13, 3}, {130, 3, 0}, {255, 17, 9}};

TEST(YuvToBgra, EveryLoopMatchesTheReferenceOnCornerCasesAndOddShapes)
{
    std::mt19937 random(11);
    std::vector<std::pair<const char*, detail::YuvRowsLoop>> loops{
        {"portable", [](const detail::YuvToBgraTerms& t, const detail::YuvRows& r) { detail::yuvRowsPortable(t, r, 0); }},
        {"sse2", &detail::yuvRowsSse2}};
    if (detail::yuvRowsAvx2Available())
        loops.emplace_back("avx2", &detail::yuvRowsAvx2);
    for (const Shape& shape : kShapes)
        for (const ColorMatrix matrix : {ColorMatrix::bt709, ColorMatrix::bt601}) {
            Planes yuv(shape.width, shape.height, shape.padding);
            fillCorners(yuv, random);
            Bgra first(shape.width, shape.height, 4 * shape.padding);
            runRows(loops[0].second, yuv, first, matrix);
            const std::string where = std::to_string(shape.width) + "x" + std::to_string(shape.height) +
                                      (matrix == ColorMatrix::bt709 ? " bt709 " : " bt601 ");
            expectMatchesReference(yuv, first, matrix, (where + loops[0].first).c_str());
            for (size_t k = 1; k < loops.size(); ++k) {
                Bgra other(shape.width, shape.height, 4 * shape.padding);
                runRows(loops[k].second, yuv, other, matrix);
                ASSERT_EQ(other.bytes, first.bytes) << where << loops[k].first << " differs from the portable loop";
            }
        }
}

TEST(YuvToBgra, SaturatedColoursBlackAndWhiteComeOutExactly)
{
    struct Case {
        uint8_t y, cb, cr;
        Rgb want;
    };
    // BT.709 limited-range codes of black, white and the six saturated colours of the colour bars.
    const std::vector<Case> cases{{16, 128, 128, {0, 0, 0}},        {235, 128, 128, {255, 255, 255}},
                                  {63, 102, 240, {255, 0, 0}},     {173, 42, 26, {0, 255, 0}},
                                  {32, 240, 118, {0, 0, 255}},     {219, 16, 138, {255, 255, 0}},
                                  {188, 154, 16, {0, 255, 255}},   {78, 214, 230, {255, 0, 255}}};
    for (const Case& c : cases) {
        Planes yuv(5, 3, 0);
        std::fill(yuv.bytes[0].begin(), yuv.bytes[0].end(), c.y);
        std::fill(yuv.bytes[1].begin(), yuv.bytes[1].end(), c.cb);
        std::fill(yuv.bytes[2].begin(), yuv.bytes[2].end(), c.cr);
        Bgra bgra(5, 3, 0);
        detail::yuv420ToBgra(yuv.view(), bgra.view(), ColorMatrix::bt709);
        const uint8_t* got = bgra.pixel(4, 2);
        EXPECT_NEAR(got[2], c.want.r, 2) << int(c.y) << "," << int(c.cb) << "," << int(c.cr);
        EXPECT_NEAR(got[1], c.want.g, 2) << int(c.y) << "," << int(c.cb) << "," << int(c.cr);
        EXPECT_NEAR(got[0], c.want.b, 2) << int(c.y) << "," << int(c.cb) << "," << int(c.cr);
    }
}

// What the library gives for the same even-sided planes, where it also takes the chroma of the
// top-left sample. Its own fixed point strays up to two codes from the exact value, ours one.
TEST(YuvToBgra, StaysWithinTheLibrarysRounding)
{
    constexpr int kWidth = 200, kHeight = 64;
    std::mt19937 random(5);
    Planes yuv(kWidth, kHeight, 8);
    // Smooth ramps plus noise: the library's chroma filter matters only at sharp edges.
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            yuv.at(0, x, y) = static_cast<uint8_t>(16 + (x + y) % 220);
    for (int y = 0; y < kHeight / 2; ++y)
        for (int x = 0; x < kWidth / 2; ++x) {
            yuv.at(1, x, y) = static_cast<uint8_t>(16 + 2 * x + static_cast<int>(random() % 2));
            yuv.at(2, x, y) = static_cast<uint8_t>(240 - 3 * y - static_cast<int>(random() % 2));
        }
    for (const ColorMatrix matrix : {ColorMatrix::bt709, ColorMatrix::bt601}) {
        Bgra ours(kWidth, kHeight, 0);
        detail::yuv420ToBgra(yuv.view(), ours.view(), matrix);

        SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGRA,
                                             SWS_BILINEAR, nullptr, nullptr, nullptr);
        ASSERT_TRUE(context);
        const int space = matrix == ColorMatrix::bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
        sws_setColorspaceDetails(context, sws_getCoefficients(space), 0, sws_getCoefficients(space), 1, 0, 1 << 16,
                                 1 << 16);
        // The library's vector loops may write past the end of a row: room for them.
        Bgra library(kWidth, kHeight, kLibraryOverwrite);
        const uint8_t* planes[3] = {yuv.bytes[0].data(), yuv.bytes[1].data(), yuv.bytes[2].data()};
        uint8_t* out[1] = {library.bytes.data()};
        const int outStride[1] = {library.stride};
        sws_scale(context, planes, yuv.stride.data(), 0, kHeight, out, outStride);
        sws_freeContext(context);
        int largest = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int k = 0; k < 4 * kWidth; ++k)
                largest = std::max(largest, std::abs(ours.pixel(0, y)[k] - library.pixel(0, y)[k]));
        EXPECT_LE(largest, 3);
    }
}

TEST(YuvToBgra, TheConverterTakesItOnlyForLimitedRangeAtTheSameSize)
{
    constexpr int kWidth = 640, kHeight = 362; // split into bands, the last one shorter
    PixelBufferPool yuvPool(PixelFormat::yuv420p, kWidth, kHeight);
    const PixelBuffer yuv = yuvPool.acquire();
    std::mt19937 random(7);
    for (int plane = 0; plane < 3; ++plane)
        for (int k = 0; k < yuv.stride(plane) * (plane == 0 ? kHeight : kHeight / 2); ++k)
            yuv.data(plane)[k] = static_cast<uint8_t>(random());
    PixelBufferPool bgraPool(PixelFormat::bgra, kWidth, kHeight);
    const PixelBuffer bgra = bgraPool.acquire();
    ColorConverter converter;
    converter.convert(yuv.view(), bgra);
    for (const int y : {0, 1, 90, 91, 92, 271, 360, 361})
        for (int x = 0; x < kWidth; ++x) {
            const Rgb want = yuvToRgb(yuv.data(0)[y * yuv.stride(0) + x], yuv.data(1)[y / 2 * yuv.stride(1) + x / 2],
                                      yuv.data(2)[y / 2 * yuv.stride(2) + x / 2], ColorMatrix::bt709,
                                      ColorRange::limited);
            const uint8_t* got = bgra.data(0) + y * bgra.stride(0) + 4 * x;
            ASSERT_NEAR(got[2], want.r, 1) << x << "," << y;
            ASSERT_NEAR(got[1], want.g, 1) << x << "," << y;
            ASSERT_NEAR(got[0], want.b, 1) << x << "," << y;
        }

    // Full range is not this loop's: a flat full-range mid grey is grey 128, where the
    // limited-range formula would give 131.
    PixelBufferPool fullPool(PixelFormat::yuv420p, 64, 32, ColorMatrix::bt709, ColorRange::full);
    const PixelBuffer full = fullPool.acquire();
    std::fill_n(full.data(0), full.stride(0) * 32, uint8_t{128});
    std::fill_n(full.data(1), full.stride(1) * 16, uint8_t{128});
    std::fill_n(full.data(2), full.stride(2) * 16, uint8_t{128});
    PixelBufferPool smallPool(PixelFormat::bgra, 64, 32);
    const PixelBuffer grey = smallPool.acquire();
    converter.convert(full.view(), grey);
    EXPECT_NEAR(grey.data(0)[10 * grey.stride(0) + 40], 128, 1);
}

} // namespace
} // namespace vi::media
