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

template <int FixedPairs>
VI_AVX2 void verticalFixed(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                          std::int16_t* out) {
    const int pairs = FixedPairs > 0 ? FixedPairs : (taps + 1) / 2;
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
    // 32 values at a time: two independent sets of sums share each row pointer and weight.
    for (; i + 32 <= count; i += 32) {
        __m256i low0 = round, high0 = round, low1 = round, high1 = round;
        for (int q = 0; q < pairs; ++q) {
            const std::uint8_t* rowA = pairRows[2 * q] + i;
            const std::uint8_t* rowB = pairRows[2 * q + 1] + i;
            const __m256i w = pairWeights[q];
            const __m256i a0 = widen16(rowA);
            const __m256i b0 = widen16(rowB);
            const __m256i a1 = widen16(rowA + 16);
            const __m256i b1 = widen16(rowB + 16);
            low0 = _mm256_add_epi32(low0, _mm256_madd_epi16(_mm256_unpacklo_epi16(a0, b0), w));
            high0 = _mm256_add_epi32(high0, _mm256_madd_epi16(_mm256_unpackhi_epi16(a0, b0), w));
            low1 = _mm256_add_epi32(low1, _mm256_madd_epi16(_mm256_unpacklo_epi16(a1, b1), w));
            high1 = _mm256_add_epi32(high1, _mm256_madd_epi16(_mm256_unpackhi_epi16(a1, b1), w));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_packs_epi32(_mm256_srai_epi32(low0, 8), _mm256_srai_epi32(high0, 8)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16),
                            _mm256_packs_epi32(_mm256_srai_epi32(low1, 8), _mm256_srai_epi32(high1, 8)));
    }
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

VI_AVX2 void verticalAvx2(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                          std::int16_t* out) {
    switch ((taps + 1) / 2) {
    case 1:
        return verticalFixed<1>(rows, weights, taps, count, out);
    case 2:
        return verticalFixed<2>(rows, weights, taps, count, out);
    case 3:
        return verticalFixed<3>(rows, weights, taps, count, out);
    case 4:
        return verticalFixed<4>(rows, weights, taps, count, out);
    case 5:
        return verticalFixed<5>(rows, weights, taps, count, out);
    case 6:
        return verticalFixed<6>(rows, weights, taps, count, out);
    default:
        return verticalFixed<0>(rows, weights, taps, count, out);
    }
}

// Two outputs' samples for one pair of taps: output a's taps t, t+1 in the low lane, output b's
// in the high lane, each as four channels of tap t then four of tap t+1.
VI_AVX2 inline __m256i tapPairs(const std::int16_t* a, const std::int16_t* b) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

VI_AVX2 inline __m256i load256(const std::int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Finishes four outputs from their 16-bit sums (j, j+1 in `first`; j+2, j+3 in `second`, each
// lane holding the even taps' and the odd taps' sums) and stores them in order.
VI_AVX2 inline void finishFour(__m256i first, __m256i second, Pixel* out) {
    // Each pixel's alpha byte copied over its four bytes.
    const __m256i alphaOfEach = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                                 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    // After packing, 32-bit words hold pixels j, j+2 (low lane) and j+1, j+3 (high lane).
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    first = _mm256_add_epi16(first, _mm256_srli_si256(first, 8));
    second = _mm256_add_epi16(second, _mm256_srli_si256(second, 8));
    __m256i sums = _mm256_unpacklo_epi64(first, second);
    sums = _mm256_srai_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(16)), 5);
    __m256i bytes = _mm256_packus_epi16(sums, sums);
    bytes = _mm256_min_epu8(bytes, _mm256_shuffle_epi8(bytes, alphaOfEach));
    bytes = _mm256_permutevar8x32_epi32(bytes, inOrder);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
}

// With the number of tap pairs known at compile time the tap loop unrolls completely; short
// filters (bilinear has one pair) would otherwise spend most of their time on loop control.
// Four rows share each weight load and position.
template <int FixedPairs>
VI_AVX2 void horizontalRowsFixed(const std::int16_t* const* mids, const int* start, int base,
                                 const std::int16_t* weights, const std::int16_t* lanes, int taps, int count,
                                 Pixel* const* outs) {
    static_assert(kRowsPerPass == 4);
    const int pairs = FixedPairs > 0 ? FixedPairs : taps / 2;
    const std::int16_t* m0 = mids[0];
    const std::int16_t* m1 = mids[1];
    const std::int16_t* m2 = mids[2];
    const std::int16_t* m3 = mids[3];
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const std::int16_t* w = lanes + std::ptrdiff_t(j / 2) * pairs * 16;
        const std::ptrdiff_t o0 = std::ptrdiff_t(start[j] - base) * 4;
        const std::ptrdiff_t o1 = std::ptrdiff_t(start[j + 1] - base) * 4;
        const std::ptrdiff_t o2 = std::ptrdiff_t(start[j + 2] - base) * 4;
        const std::ptrdiff_t o3 = std::ptrdiff_t(start[j + 3] - base) * 4;
        __m256i a01 = _mm256_setzero_si256(), a23 = a01, b01 = a01, b23 = a01;
        __m256i c01 = a01, c23 = a01, d01 = a01, d23 = a01;
        for (int q = 0; q < pairs; ++q) {
            const __m256i w01 = load256(w + q * 16);
            const __m256i w23 = load256(w + (pairs + q) * 16);
            const std::ptrdiff_t t = q * 8;
            a01 = _mm256_add_epi16(a01, _mm256_mulhrs_epi16(tapPairs(m0 + o0 + t, m0 + o1 + t), w01));
            a23 = _mm256_add_epi16(a23, _mm256_mulhrs_epi16(tapPairs(m0 + o2 + t, m0 + o3 + t), w23));
            b01 = _mm256_add_epi16(b01, _mm256_mulhrs_epi16(tapPairs(m1 + o0 + t, m1 + o1 + t), w01));
            b23 = _mm256_add_epi16(b23, _mm256_mulhrs_epi16(tapPairs(m1 + o2 + t, m1 + o3 + t), w23));
            c01 = _mm256_add_epi16(c01, _mm256_mulhrs_epi16(tapPairs(m2 + o0 + t, m2 + o1 + t), w01));
            c23 = _mm256_add_epi16(c23, _mm256_mulhrs_epi16(tapPairs(m2 + o2 + t, m2 + o3 + t), w23));
            d01 = _mm256_add_epi16(d01, _mm256_mulhrs_epi16(tapPairs(m3 + o0 + t, m3 + o1 + t), w01));
            d23 = _mm256_add_epi16(d23, _mm256_mulhrs_epi16(tapPairs(m3 + o2 + t, m3 + o3 + t), w23));
        }
        finishFour(a01, a23, outs[0] + j);
        finishFour(b01, b23, outs[1] + j);
        finishFour(c01, c23, outs[2] + j);
        finishFour(d01, d23, outs[3] + j);
    }
    for (; j < count; ++j) {
        const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
        for (int r = 0; r < kRowsPerPass; ++r) {
            outs[r][j] = horizontalPixel(mids[r] + std::ptrdiff_t(start[j] - base) * 4, w, taps);
        }
    }
}

VI_AVX2 void horizontalRowsAvx2(const std::int16_t* const* mids, const int* start, int base,
                                const std::int16_t* weights, const std::int16_t* lanes, int taps, int count,
                                Pixel* const* outs) {
    switch (taps / 2) {
    case 1:
        return horizontalRowsFixed<1>(mids, start, base, weights, lanes, taps, count, outs);
    case 2:
        return horizontalRowsFixed<2>(mids, start, base, weights, lanes, taps, count, outs);
    case 3:
        return horizontalRowsFixed<3>(mids, start, base, weights, lanes, taps, count, outs);
    case 4:
        return horizontalRowsFixed<4>(mids, start, base, weights, lanes, taps, count, outs);
    case 5:
        return horizontalRowsFixed<5>(mids, start, base, weights, lanes, taps, count, outs);
    case 6:
        return horizontalRowsFixed<6>(mids, start, base, weights, lanes, taps, count, outs);
    case 7:
        return horizontalRowsFixed<7>(mids, start, base, weights, lanes, taps, count, outs);
    case 8:
        return horizontalRowsFixed<8>(mids, start, base, weights, lanes, taps, count, outs);
    default:
        return horizontalRowsFixed<0>(mids, start, base, weights, lanes, taps, count, outs);
    }
}

} // namespace

bool avx2Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

ResampleKernels avx2Kernels() { return {&verticalAvx2, &horizontalRowsAvx2, true}; }

} // namespace vi::raster::detail

#else

namespace vi::raster::detail {
bool avx2Available() { return false; }
ResampleKernels avx2Kernels() { return portableKernels(); }
} // namespace vi::raster::detail

#endif
