#include "Platform/Media/YuvToBgra.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vi::media::detail {

namespace {

constexpr int kScale = 1 << kYuvToBgraFractionBits;
// Luma and chroma enter the multiplications as their value times 256.
constexpr double kTermScale = kScale * 256.0;

constexpr long roundToLong(double value) { return static_cast<long>(value + (value < 0 ? -0.5 : 0.5)); }

constexpr YuvToBgraTerms termsFor(double kr, double kb)
{
    const double kg = 1 - kr - kb;
    const double lumaScale = 255.0 / 219.0; // limited range: 16...235 spans the full scale
    const double chromaScale = 255.0 / 224.0; // and 16...240 spans twice the largest difference
    const double red = 2 * (1 - kr) * chromaScale;
    const double blue = 2 * (1 - kb) * chromaScale;
    const double greenFromCb = -2 * (1 - kb) * kb / kg * chromaScale;
    const double greenFromCr = -2 * (1 - kr) * kr / kg * chromaScale;
    return {static_cast<std::uint16_t>(roundToLong(lumaScale * kTermScale)),
            static_cast<std::int16_t>(kScale / 2 - roundToLong(16 * lumaScale * kScale)),
            static_cast<std::int16_t>(roundToLong(red * kTermScale)),
            static_cast<std::int16_t>(roundToLong(greenFromCb * kTermScale)),
            static_cast<std::int16_t>(roundToLong(greenFromCr * kTermScale)),
            static_cast<std::int16_t>(roundToLong((blue - 2) * kTermScale))};
}

constexpr YuvToBgraTerms kBt709 = termsFor(0.2126, 0.0722);
constexpr YuvToBgraTerms kBt601 = termsFor(0.299, 0.114);

int highSigned(int value, int weight) { return (value * weight) >> 16; }
int saturate16(int value) { return std::clamp(value, -32768, 32767); }
std::uint8_t channel(int lumaTerm, int chromaTerm)
{
    return static_cast<std::uint8_t>(std::clamp(saturate16(lumaTerm + chromaTerm) >> kYuvToBgraFractionBits, 0, 255));
}

YuvRowsLoop fastestLoop()
{
    if (yuvRowsAvx2Available())
        return &yuvRowsAvx2;
    return &yuvRowsSse2;
}

} // namespace

const YuvToBgraTerms& yuvToBgraTerms(ColorMatrix matrix) { return matrix == ColorMatrix::bt709 ? kBt709 : kBt601; }

void yuvRowsPortable(const YuvToBgraTerms& t, const YuvRows& rows, int fromPixel)
{
    for (int x = fromPixel; x < rows.width; ++x) {
        const int cb = (rows.cb[x / 2] - 128) * 256;
        const int cr = (rows.cr[x / 2] - 128) * 256;
        const int red = highSigned(cr, t.redFromCr);
        const int green = highSigned(cb, t.greenFromCb) + highSigned(cr, t.greenFromCr);
        const int blue = cb / 2 + highSigned(cb, t.blueFromCbBeyondTwo);
        for (int row = 0; row < rows.rows; ++row) {
            const int luma = static_cast<int>((static_cast<unsigned>(rows.luma[row][x]) * 256u * t.luma) >> 16) + t.lumaOffset;
            std::uint8_t* pixel = rows.bgra[row] + 4 * static_cast<std::ptrdiff_t>(x);
            pixel[0] = channel(luma, blue);
            pixel[1] = channel(luma, green);
            pixel[2] = channel(luma, red);
            pixel[3] = 255;
        }
    }
}

void yuvRowsSse2(const YuvToBgraTerms& t, const YuvRows& rows)
{
    int x = 0;
#if defined(__SSE2__)
    // Sixteen pixels of each row a step, from eight chroma samples.
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000)); // (c << 8) ^ 0x8000 = (c - 128) * 256
    const __m128i lumaWeight = _mm_set1_epi16(static_cast<short>(t.luma));
    const __m128i lumaOffset = _mm_set1_epi16(t.lumaOffset);
    const __m128i redWeight = _mm_set1_epi16(t.redFromCr);
    const __m128i greenCbWeight = _mm_set1_epi16(t.greenFromCb);
    const __m128i greenCrWeight = _mm_set1_epi16(t.greenFromCr);
    const __m128i blueWeight = _mm_set1_epi16(t.blueFromCbBeyondTwo);
    const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xFF));
    for (; x + 16 <= rows.width; x += 16) {
        const __m128i cb = _mm_xor_si128(
            _mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows.cb + x / 2))), flip);
        const __m128i cr = _mm_xor_si128(
            _mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows.cr + x / 2))), flip);
        const __m128i red = _mm_mulhi_epi16(cr, redWeight);
        const __m128i green = _mm_add_epi16(_mm_mulhi_epi16(cb, greenCbWeight), _mm_mulhi_epi16(cr, greenCrWeight));
        const __m128i blue = _mm_add_epi16(_mm_srai_epi16(cb, 1), _mm_mulhi_epi16(cb, blueWeight));
        const __m128i redLow = _mm_unpacklo_epi16(red, red), redHigh = _mm_unpackhi_epi16(red, red);
        const __m128i greenLow = _mm_unpacklo_epi16(green, green), greenHigh = _mm_unpackhi_epi16(green, green);
        const __m128i blueLow = _mm_unpacklo_epi16(blue, blue), blueHigh = _mm_unpackhi_epi16(blue, blue);
        for (int row = 0; row < rows.rows; ++row) {
            const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.luma[row] + x));
            const __m128i lumaLow = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(zero, luma), lumaWeight), lumaOffset);
            const __m128i lumaHigh = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(zero, luma), lumaWeight), lumaOffset);
            auto finish = [&](__m128i low, __m128i high) {
                return _mm_packus_epi16(_mm_srai_epi16(_mm_adds_epi16(lumaLow, low), kYuvToBgraFractionBits),
                                        _mm_srai_epi16(_mm_adds_epi16(lumaHigh, high), kYuvToBgraFractionBits));
            };
            const __m128i b = finish(blueLow, blueHigh);
            const __m128i g = finish(greenLow, greenHigh);
            const __m128i r = finish(redLow, redHigh);
            const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
            const __m128i raLow = _mm_unpacklo_epi8(r, opaque), raHigh = _mm_unpackhi_epi8(r, opaque);
            auto* out = reinterpret_cast<__m128i*>(rows.bgra[row] + 4 * static_cast<std::ptrdiff_t>(x));
            _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, raLow));
            _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, raLow));
            _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
            _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
        }
    }
#endif
    yuvRowsPortable(t, rows, x);
}

void yuv420ToBgra(const ImageView& yuv, const ImageView& bgra, ColorMatrix matrix)
{
    static const YuvRowsLoop loop = fastestLoop();
    const YuvToBgraTerms& terms = yuvToBgraTerms(matrix);
    auto at = [](const std::uint8_t* base, int stride, int y) { return base + static_cast<std::ptrdiff_t>(y) * stride; };
    for (int y = 0; y < yuv.height; y += 2) {
        YuvRows rows{};
        rows.rows = std::min(2, yuv.height - y);
        rows.width = yuv.width;
        rows.cb = at(yuv.data[1], yuv.stride[1], y / 2);
        rows.cr = at(yuv.data[2], yuv.stride[2], y / 2);
        for (int row = 0; row < rows.rows; ++row) {
            rows.luma[row] = at(yuv.data[0], yuv.stride[0], y + row);
            rows.bgra[row] = const_cast<std::uint8_t*>(at(bgra.data[0], bgra.stride[0], y + row));
        }
        loop(terms, rows);
    }
}

} // namespace vi::media::detail
