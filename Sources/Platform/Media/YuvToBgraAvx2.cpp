// The AVX2 loop of the 4:2:0 to BGRA conversion, compiled for that instruction set only in this
// file's functions and chosen at run time, so the program still runs on any x86-64 processor.
#include "Platform/Media/YuvToBgra.h"

#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#define VI_AVX2 __attribute__((target("avx2")))

namespace vi::media::detail {

bool yuvRowsAvx2Available()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

namespace {

// One channel of 32 pixels: luma and chroma terms added, back to whole code values, as bytes.
VI_AVX2 inline __m256i finish(__m256i lumaLow, __m256i lumaHigh, __m256i low, __m256i high)
{
    return _mm256_packus_epi16(_mm256_srai_epi16(_mm256_adds_epi16(lumaLow, low), kYuvToBgraFractionBits),
                               _mm256_srai_epi16(_mm256_adds_epi16(lumaHigh, high), kYuvToBgraFractionBits));
}

} // namespace

// Thirty-two pixels of each row a step, from sixteen chroma samples. The 256-bit unpacks work
// within 128-bit halves, so the "low" vectors hold pixels 0-7 and 16-23 and the "high" ones
// 8-15 and 24-31, matching the halves of the luma unpacks; the stores put them back in order.
VI_AVX2 void yuvRowsAvx2(const YuvToBgraTerms& t, const YuvRows& rows)
{
    int x = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
    const __m256i lumaWeight = _mm256_set1_epi16(static_cast<short>(t.luma));
    const __m256i lumaOffset = _mm256_set1_epi16(t.lumaOffset);
    const __m256i redWeight = _mm256_set1_epi16(t.redFromCr);
    const __m256i greenCbWeight = _mm256_set1_epi16(t.greenFromCb);
    const __m256i greenCrWeight = _mm256_set1_epi16(t.greenFromCr);
    const __m256i blueWeight = _mm256_set1_epi16(t.blueFromCbBeyondTwo);
    const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xFF));
    for (; x + 32 <= rows.width; x += 32) {
        const __m256i cb = _mm256_xor_si256(
            _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.cb + x / 2))), 8),
            flip);
        const __m256i cr = _mm256_xor_si256(
            _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows.cr + x / 2))), 8),
            flip);
        const __m256i red = _mm256_mulhi_epi16(cr, redWeight);
        const __m256i green =
            _mm256_add_epi16(_mm256_mulhi_epi16(cb, greenCbWeight), _mm256_mulhi_epi16(cr, greenCrWeight));
        const __m256i blue = _mm256_add_epi16(_mm256_srai_epi16(cb, 1), _mm256_mulhi_epi16(cb, blueWeight));
        const __m256i redLow = _mm256_unpacklo_epi16(red, red), redHigh = _mm256_unpackhi_epi16(red, red);
        const __m256i greenLow = _mm256_unpacklo_epi16(green, green), greenHigh = _mm256_unpackhi_epi16(green, green);
        const __m256i blueLow = _mm256_unpacklo_epi16(blue, blue), blueHigh = _mm256_unpackhi_epi16(blue, blue);
        for (int row = 0; row < rows.rows; ++row) {
            const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows.luma[row] + x));
            const __m256i lumaLow =
                _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, luma), lumaWeight), lumaOffset);
            const __m256i lumaHigh =
                _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, luma), lumaWeight), lumaOffset);
            const __m256i b = finish(lumaLow, lumaHigh, blueLow, blueHigh);
            const __m256i g = finish(lumaLow, lumaHigh, greenLow, greenHigh);
            const __m256i r = finish(lumaLow, lumaHigh, redLow, redHigh);
            const __m256i bgLow = _mm256_unpacklo_epi8(b, g), bgHigh = _mm256_unpackhi_epi8(b, g);
            const __m256i raLow = _mm256_unpacklo_epi8(r, opaque), raHigh = _mm256_unpackhi_epi8(r, opaque);
            const __m256i first = _mm256_unpacklo_epi16(bgLow, raLow);   // 0-3 | 16-19
            const __m256i second = _mm256_unpackhi_epi16(bgLow, raLow);  // 4-7 | 20-23
            const __m256i third = _mm256_unpacklo_epi16(bgHigh, raHigh); // 8-11 | 24-27
            const __m256i fourth = _mm256_unpackhi_epi16(bgHigh, raHigh); // 12-15 | 28-31
            auto* out = reinterpret_cast<__m256i*>(rows.bgra[row] + 4 * static_cast<std::ptrdiff_t>(x));
            _mm256_storeu_si256(out, _mm256_permute2x128_si256(first, second, 0x20));
            _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(third, fourth, 0x20));
            _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(first, second, 0x31));
            _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(third, fourth, 0x31));
        }
    }
    // The rest with the narrower loop, which ends with the portable one.
    YuvRows rest = rows;
    rest.width = rows.width - x;
    rest.cb += x / 2;
    rest.cr += x / 2;
    for (int row = 0; row < rows.rows; ++row) {
        rest.luma[row] += x;
        rest.bgra[row] += 4 * static_cast<std::ptrdiff_t>(x);
    }
    yuvRowsSse2(t, rest);
}

} // namespace vi::media::detail

#else

namespace vi::media::detail {
bool yuvRowsAvx2Available() { return false; }
void yuvRowsAvx2(const YuvToBgraTerms& t, const YuvRows& rows) { yuvRowsSse2(t, rows); }
} // namespace vi::media::detail

#endif
