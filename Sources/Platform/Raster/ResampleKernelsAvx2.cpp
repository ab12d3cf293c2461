// AVX2 versions of the resample loops, compiled for that instruction set only in this file's
// functions and chosen at run time, so the program still runs on any x86-64 processor.
#include "Platform/Raster/ResampleKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#include <algorithm>

#define VI_AVX2 __attribute__((target("avx2")))

namespace vi::raster::detail {

namespace {

// Pairs of taps are combined by one multiply-add of 16-bit lanes into 32-bit sums.
VI_AVX2 inline __m256i pairOf(std::int16_t a, std::int16_t b) {
    return _mm256_set1_epi32(std::int32_t(std::uint32_t(std::uint16_t(a)) | (std::uint32_t(std::uint16_t(b)) << 16)));
}

VI_AVX2 inline __m256i widen16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Tap pairs beyond this are not produced by the weight tables (Lanczos-3 at the deepest shrink
// they allow reads fewer than 400 samples).
constexpr int kMaxTapPairs = 256;

VI_AVX2 void verticalAvx2(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                          std::int16_t* out) {
    const int pairs = (taps + 1) / 2;
    if (pairs > kMaxTapPairs) {
        verticalPortable(rows, weights, taps, count, out);
        return;
    }
    // One broadcast weight pair per pair of rows, made once for the whole row.
    alignas(32) __m256i pairWeights[kMaxTapPairs];
    const std::uint8_t* pairRows[2 * kMaxTapPairs];
    for (int q = 0; q < pairs; ++q) {
        const int t = 2 * q;
        const bool odd = t + 1 >= taps; // the last row pairs with itself at weight 0
        pairWeights[q] = pairOf(weights[t], odd ? std::int16_t(0) : weights[t + 1]);
        pairRows[t] = rows[t];
        pairRows[t + 1] = odd ? rows[t] : rows[t + 1];
    }
    const __m256i round = _mm256_set1_epi32(1 << 7);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m256i low = round;
        __m256i high = round;
        for (int q = 0; q < pairs; ++q) {
            const __m256i a = widen16(pairRows[2 * q] + i);
            const __m256i b = widen16(pairRows[2 * q + 1] + i);
            low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), pairWeights[q]));
            high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), pairWeights[q]));
        }
        low = _mm256_srai_epi32(low, 8);
        high = _mm256_srai_epi32(high, 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packs_epi32(low, high));
    }
    if (i < count) {
        const std::uint8_t* rest[2 * kMaxTapPairs];
        for (int t = 0; t < taps; ++t) {
            rest[t] = rows[t] + i;
        }
        verticalPortable(rest, weights, taps, count - i, out + i);
    }
}

// Two outputs' weighted sums over their taps: output a in the low 128 bits, b in the high.
VI_AVX2 inline __m256i twoPixelSums(const std::int16_t* a, const std::int16_t* b, const std::int32_t* w, int pairs,
                                    __m256i interleave) {
    __m256i acc = _mm256_set1_epi32(1 << 19);
    for (int q = 0; q < pairs; ++q) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + q * 8));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + q * 8));
        const __m256i v =
            _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1), interleave);
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + q * 8))));
    }
    return _mm256_srai_epi32(acc, 20);
}

VI_AVX2 void horizontalAvx2(const std::int16_t* mid, const int* start, int base, const std::int16_t* weights,
                            const std::int32_t* paired, int taps, int count, Pixel* out) {
    // Within each 128-bit lane: (b0 g0 r0 a0 b1 g1 r1 a1) -> (b0 b1 g0 g1 r0 r1 a0 a1).
    const __m256i interleave = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                                0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    // Each pixel's alpha byte copied over its four bytes.
    const __m256i alphaOfEach = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                                 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    // After packing, 32-bit words hold pixels j, j+2 (low lane) and j+1, j+3 (high lane).
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const int pairs = taps / 2;
    auto at = [&](int j) { return mid + std::ptrdiff_t(start[j] - base) * 4; };
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const std::int32_t* w = paired + std::ptrdiff_t(j / 2) * pairs * 8;
        const __m256i first = twoPixelSums(at(j), at(j + 1), w, pairs, interleave);
        const __m256i second = twoPixelSums(at(j + 2), at(j + 3), w + pairs * 8, pairs, interleave);
        const __m256i words = _mm256_packs_epi32(first, second);
        __m256i bytes = _mm256_packus_epi16(words, words);
        bytes = _mm256_min_epu8(bytes, _mm256_shuffle_epi8(bytes, alphaOfEach));
        bytes = _mm256_permutevar8x32_epi32(bytes, inOrder);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm256_castsi256_si128(bytes));
    }
    for (; j < count; ++j) {
        out[j] = horizontalPixel(at(j), weights + std::ptrdiff_t(j) * taps, taps);
    }
}

} // namespace

bool avx2Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

ResampleKernels avx2Kernels() { return {&verticalAvx2, &horizontalAvx2, true}; }

} // namespace vi::raster::detail

#else

namespace vi::raster::detail {
bool avx2Available() { return false; }
ResampleKernels avx2Kernels() { return portableKernels(); }
} // namespace vi::raster::detail

#endif
