// AVX2 versions of the resample loops, compiled for that instruction set only in this file's
// functions and chosen at run time, so the program still runs on any x86-64 processor.
#include "Platform/Raster/ResampleKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#include <algorithm>

#define VI_AVX2 __attribute__((target("avx2")))
#define VI_ALWAYS_INLINE inline __attribute__((always_inline))

namespace vi::raster::detail {

namespace {

// Taps beyond this are not produced by the weight tables (Lanczos-3 at the deepest shrink they
// allow reads fewer than 400 samples).
constexpr int kMaxTaps = 512;

// Bytes with their top bit flipped are the samples less 128 as signed bytes; placed in the high
// half of a 16-bit lane (an unpack with zero) they become (v - 128) * 256, ready to multiply,
// without widening instructions or shifts.
template <int FixedTaps>
VI_AVX2 void verticalFixed(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                           std::int16_t* out) {
    if constexpr (FixedTaps > 0) {
        taps = FixedTaps;
    }
    if (taps > kMaxTaps) {
        verticalPortable(rows, weights, taps, count, out);
        return;
    }
    alignas(32) __m256i tapWeights[FixedTaps > 0 ? FixedTaps : kMaxTaps];
    for (int t = 0; t < taps; ++t) {
        tapWeights[t] = _mm256_set1_epi16(weights[t]);
    }
    int weightSum = 0;
    for (int t = 0; t < taps; ++t) {
        weightSum += weights[t];
    }
    const __m256i start = _mm256_set1_epi16(std::int16_t(weightSum - (1 << 14)));
    const __m256i flip = _mm256_set1_epi8(char(0x80));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        // The unpacks work within 128-bit halves: `low` holds values 0-7 and 16-23, `high` 8-15
        // and 24-31, put back in order once the sums are done.
        __m256i low = start;
        __m256i high = start;
        for (int t = 0; t < taps; ++t) {
            const __m256i centred =
                _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[t] + i)), flip);
            low = _mm256_add_epi16(low, _mm256_mulhrs_epi16(_mm256_unpacklo_epi8(zero, centred), tapWeights[t]));
            high = _mm256_add_epi16(high, _mm256_mulhrs_epi16(_mm256_unpackhi_epi8(zero, centred), tapWeights[t]));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), _mm256_permute2x128_si256(low, high, 0x31));
    }
    if (i + 16 <= count) {
        const __m128i flip128 = _mm_set1_epi8(char(0x80));
        const __m128i zero128 = _mm_setzero_si128();
        __m128i low = _mm256_castsi256_si128(start);
        __m128i high = low;
        for (int t = 0; t < taps; ++t) {
            const __m128i centred = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + i)), flip128);
            const __m128i w = _mm256_castsi256_si128(tapWeights[t]);
            low = _mm_add_epi16(low, _mm_mulhrs_epi16(_mm_unpacklo_epi8(zero128, centred), w));
            high = _mm_add_epi16(high, _mm_mulhrs_epi16(_mm_unpackhi_epi8(zero128, centred), w));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), high);
        i += 16;
    }
    if (i < count) {
        const std::uint8_t* rest[kMaxTaps];
        for (int t = 0; t < taps; ++t) {
            rest[t] = rows[t] + i;
        }
        verticalPortable(rest, weights, taps, count - i, out + i);
    }
}

VI_AVX2 void verticalAvx2(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                          std::int16_t* out) {
    switch (taps) {
    case 2:
        return verticalFixed<2>(rows, weights, taps, count, out);
    case 4:
        return verticalFixed<4>(rows, weights, taps, count, out);
    case 6:
        return verticalFixed<6>(rows, weights, taps, count, out);
    case 8:
        return verticalFixed<8>(rows, weights, taps, count, out);
    case 10:
        return verticalFixed<10>(rows, weights, taps, count, out);
    case 12:
        return verticalFixed<12>(rows, weights, taps, count, out);
    default:
        return verticalFixed<0>(rows, weights, taps, count, out);
    }
}

// Moves 16-bit sums of centred colour (1/64 of a level) back by their outputs' sumOffset, to levels;
// the saturating add keeps bright overshoot bright, and the pack clamps to 0...255.
VI_AVX2 VI_ALWAYS_INLINE __m256i levelsOf(__m256i sums, __m256i offsets) {
    return _mm256_srai_epi16(_mm256_adds_epi16(sums, offsets), 6);
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
// `offsets` holds the outputs' sum offsets in the sums' order: j, j+2, j+1, j+3.
VI_AVX2 inline void finishFour(__m256i first, __m256i second, __m256i offsets, Pixel* out) {
    // Each pixel's alpha byte copied over its four bytes.
    const __m256i alphaOfEach = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                                 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    // After packing, 32-bit words hold pixels j, j+2 (low lane) and j+1, j+3 (high lane).
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    first = _mm256_add_epi16(first, _mm256_srli_si256(first, 8));
    second = _mm256_add_epi16(second, _mm256_srli_si256(second, 8));
    __m256i sums = _mm256_unpacklo_epi64(first, second);
    sums = levelsOf(sums, offsets);
    __m256i bytes = _mm256_packus_epi16(sums, sums);
    bytes = _mm256_min_epu8(bytes, _mm256_shuffle_epi8(bytes, alphaOfEach));
    bytes = _mm256_permutevar8x32_epi32(bytes, inOrder);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
}

// Two-tap filters (bilinear): one vector carries both taps of two outputs, and the four rows
// share each weight load and position.
VI_AVX2 void horizontalRowsTwoTaps(const std::int16_t* const* mids, const int* start, int base,
                                   const std::int16_t* weights, const std::int16_t* lanes, const std::int16_t* sumOffsets,
                                   int taps, int count, Pixel* const* outs) {
    static_assert(kRowsPerPass == 4);
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m256i w01 = load256(lanes + std::ptrdiff_t(j / 2) * 16);
        const __m256i w23 = load256(lanes + std::ptrdiff_t(j / 2 + 1) * 16);
        const std::ptrdiff_t o0 = std::ptrdiff_t(start[j] - base) * 4;
        const std::ptrdiff_t o1 = std::ptrdiff_t(start[j + 1] - base) * 4;
        const std::ptrdiff_t o2 = std::ptrdiff_t(start[j + 2] - base) * 4;
        const std::ptrdiff_t o3 = std::ptrdiff_t(start[j + 3] - base) * 4;
        const __m256i offsets = _mm256_permute4x64_epi64(load256(sumOffsets + std::ptrdiff_t(j) * 4), 0xD8);
        for (int r = 0; r < kRowsPerPass; ++r) {
            const std::int16_t* m = mids[r];
            finishFour(_mm256_mulhrs_epi16(tapPairs(m + o0, m + o1), w01),
                       _mm256_mulhrs_epi16(tapPairs(m + o2, m + o3), w23), offsets, outs[r] + j);
        }
    }
    for (; j < count; ++j) {
        const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
        for (int r = 0; r < kRowsPerPass; ++r) {
            outs[r][j] = horizontalPixel(mids[r] + std::ptrdiff_t(start[j] - base) * 4, w, taps);
        }
    }
}

// Finishes four outputs of one row whose sums lie in 16-bit lanes as four 64-bit words (the
// four channels of taps 4g, 4g+1, 4g+2, 4g+3 summed over the groups g), and stores them in order.
VI_AVX2 VI_ALWAYS_INLINE void finishFourQuads(__m256i a, __m256i b, __m256i c, __m256i d, const std::int16_t* offsets,
                                              Pixel* out) {
    const __m256i alphaOfEach = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                                 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    // [a's taps 0+1, b's taps 0+1 | a's taps 2+3, b's taps 2+3], then the same for c and d.
    const __m256i ab = _mm256_add_epi16(_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b));
    const __m256i cd = _mm256_add_epi16(_mm256_unpacklo_epi64(c, d), _mm256_unpackhi_epi64(c, d));
    __m256i sums = _mm256_add_epi16(_mm256_permute2x128_si256(ab, cd, 0x20), _mm256_permute2x128_si256(ab, cd, 0x31));
    sums = levelsOf(sums, load256(offsets));
    __m256i bytes = _mm256_packus_epi16(sums, sums); // [a b a b | c d c d]
    bytes = _mm256_min_epu8(bytes, _mm256_shuffle_epi8(bytes, alphaOfEach));
    bytes = _mm256_permute4x64_epi64(bytes, 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
}

// One output's sums in four rows, from its `groups` groups of four taps.
struct QuadSums {
    __m256i row[4];
};

template <int FixedGroups>
VI_AVX2 VI_ALWAYS_INLINE QuadSums quadOutput(const std::int16_t* const* m, const std::int16_t* lanes, int first, int k,
                                   int groups) {
    if constexpr (FixedGroups > 0) {
        groups = FixedGroups;
    }
    const std::int16_t* w = lanes + std::ptrdiff_t(k) * groups * 16;
    const std::ptrdiff_t o = std::ptrdiff_t(first) * 4;
    QuadSums s;
    const __m256i w0 = load256(w);
    for (int r = 0; r < 4; ++r) {
        s.row[r] = _mm256_mulhrs_epi16(load256(m[r] + o), w0);
    }
    for (int g = 1; g < groups; ++g) {
        const __m256i wg = load256(w + g * 16);
        for (int r = 0; r < 4; ++r) {
            s.row[r] = _mm256_add_epi16(s.row[r], _mm256_mulhrs_epi16(load256(m[r] + o + g * 16), wg));
        }
    }
    return s;
}

// Filters with more than two taps: each output's samples are contiguous, so one unaligned load
// brings four of its taps (all channels) and one multiply weighs them; no shuffling before the
// multiply. The four rows share each output's weights, loaded once.
template <int FixedGroups>
VI_AVX2 void horizontalQuadsFixed(const std::int16_t* const* mids, const int* start, int base,
                                  const std::int16_t* weights, const std::int16_t* lanes, const std::int16_t* sumOffsets,
                                  int taps, int count, Pixel* const* outs) {
    static_assert(kRowsPerPass == 4);
    const int groups = FixedGroups > 0 ? FixedGroups : (taps + 3) / 4;
    const std::int16_t* const m[4] = {mids[0], mids[1], mids[2], mids[3]};
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        const QuadSums a = quadOutput<FixedGroups>(m, lanes, start[j] - base, j, groups);
        const QuadSums b = quadOutput<FixedGroups>(m, lanes, start[j + 1] - base, j + 1, groups);
        const QuadSums c = quadOutput<FixedGroups>(m, lanes, start[j + 2] - base, j + 2, groups);
        const QuadSums d = quadOutput<FixedGroups>(m, lanes, start[j + 3] - base, j + 3, groups);
        for (int r = 0; r < 4; ++r) {
            finishFourQuads(a.row[r], b.row[r], c.row[r], d.row[r], sumOffsets + std::ptrdiff_t(j) * 4, outs[r] + j);
        }
    }
    for (; j < count; ++j) {
        const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
        for (int r = 0; r < kRowsPerPass; ++r) {
            outs[r][j] = horizontalPixel(mids[r] + std::ptrdiff_t(start[j] - base) * 4, w, taps);
        }
    }
}

VI_AVX2 void horizontalRowsAvx2(const std::int16_t* const* mids, const int* start, int base,
                                const std::int16_t* weights, const std::int16_t* lanes, const std::int16_t* sumOffsets,
                                int taps, int count, Pixel* const* outs) {
    if (spreadsInPairsOfOutputs(taps)) {
        return horizontalRowsTwoTaps(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    }
    switch ((taps + 3) / 4) {
    case 1:
        return horizontalQuadsFixed<1>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    case 2:
        return horizontalQuadsFixed<2>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    case 3:
        return horizontalQuadsFixed<3>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    case 4:
        return horizontalQuadsFixed<4>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    default:
        return horizontalQuadsFixed<0>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
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
