// SSSE3 versions of the resample loops for processors without AVX2: the same arithmetic on
// 128-bit vectors (the rounding high multiply is an SSSE3 instruction), chosen at run time.
#include "Platform/Raster/ResampleKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

#define VI_SSSE3 __attribute__((target("ssse3")))
#define VI_ALWAYS_INLINE inline __attribute__((always_inline))

namespace vi::raster::detail {

namespace {

// As in the AVX2 loops: taps beyond this are not produced by the weight tables.
constexpr int kMaxTaps = 512;

VI_SSSE3 VI_ALWAYS_INLINE __m128i load128(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// Bytes with their top bit flipped, placed in the high half of 16-bit lanes, are (v - 128) * 256.
template <int FixedTaps>
VI_SSSE3 void verticalFixed(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                            std::int16_t* out) {
    if constexpr (FixedTaps > 0) {
        taps = FixedTaps;
    }
    if (taps > kMaxTaps) {
        verticalPortable(rows, weights, taps, count, out);
        return;
    }
    __m128i tapWeights[FixedTaps > 0 ? FixedTaps : kMaxTaps];
    int weightSum = 0;
    for (int t = 0; t < taps; ++t) {
        tapWeights[t] = _mm_set1_epi16(weights[t]);
        weightSum += weights[t];
    }
    const __m128i start = _mm_set1_epi16(std::int16_t(weightSum - (1 << 14)));
    const __m128i flip = _mm_set1_epi8(char(0x80));
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i low = start;
        __m128i high = start;
        for (int t = 0; t < taps; ++t) {
            const __m128i centred = _mm_xor_si128(load128(rows[t] + i), flip);
            low = _mm_add_epi16(low, _mm_mulhrs_epi16(_mm_unpacklo_epi8(zero, centred), tapWeights[t]));
            high = _mm_add_epi16(high, _mm_mulhrs_epi16(_mm_unpackhi_epi8(zero, centred), tapWeights[t]));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), high);
    }
    if (i < count) {
        const std::uint8_t* rest[kMaxTaps];
        for (int t = 0; t < taps; ++t) {
            rest[t] = rows[t] + i;
        }
        verticalPortable(rest, weights, taps, count - i, out + i);
    }
}

VI_SSSE3 void verticalSsse3(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
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
    default:
        return verticalFixed<0>(rows, weights, taps, count, out);
    }
}

// Finishes two outputs whose sums lie in 16-bit lanes as [channels of even taps, of odd taps],
// and stores them in order. `offsets` holds each output's sum offset four times.
VI_SSSE3 VI_ALWAYS_INLINE void finishTwo(__m128i a, __m128i b, const std::int16_t* offsets, Pixel* out) {
    const __m128i alphaOfEach = _mm_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    a = _mm_add_epi16(a, _mm_srli_si128(a, 8));
    b = _mm_add_epi16(b, _mm_srli_si128(b, 8));
    __m128i sums = _mm_unpacklo_epi64(a, b);
    sums = _mm_srai_epi16(_mm_adds_epi16(sums, load128(offsets)), 6);
    __m128i bytes = _mm_packus_epi16(sums, sums);
    bytes = _mm_min_epu8(bytes, _mm_shuffle_epi8(bytes, alphaOfEach));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
}

struct RowSums {
    __m128i row[4];
};

// One output's sums in four rows. Two-tap filters keep two outputs per 16 weights (this output's
// eight at `w`); longer ones take 16 weights per group of four taps.
template <int FixedGroups>
VI_SSSE3 VI_ALWAYS_INLINE RowSums outputSums(const std::int16_t* const* m, const std::int16_t* w, int first,
                                             int groups) {
    if constexpr (FixedGroups > 0) {
        groups = FixedGroups;
    }
    const std::ptrdiff_t o = std::ptrdiff_t(first) * 4;
    RowSums s;
    const __m128i w0 = load128(w);
    for (int r = 0; r < 4; ++r) {
        s.row[r] = _mm_mulhrs_epi16(load128(m[r] + o), w0);
    }
    if (groups == 0) {
        return s; // two taps
    }
    const __m128i w1 = load128(w + 8);
    for (int r = 0; r < 4; ++r) {
        s.row[r] = _mm_add_epi16(s.row[r], _mm_mulhrs_epi16(load128(m[r] + o + 8), w1));
    }
    for (int g = 1; g < groups; ++g) {
        const __m128i low = load128(w + g * 16);
        const __m128i high = load128(w + g * 16 + 8);
        for (int r = 0; r < 4; ++r) {
            s.row[r] = _mm_add_epi16(s.row[r], _mm_mulhrs_epi16(load128(m[r] + o + g * 16), low));
            s.row[r] = _mm_add_epi16(s.row[r], _mm_mulhrs_epi16(load128(m[r] + o + g * 16 + 8), high));
        }
    }
    return s;
}

// FixedGroups -1 is the two-tap layout, 0 any number of groups of four taps.
template <int FixedGroups>
VI_SSSE3 void horizontalRowsFixed(const std::int16_t* const* mids, const int* start, int base,
                                  const std::int16_t* weights, const std::int16_t* lanes, const std::int16_t* sumOffsets,
                                  int taps, int count, Pixel* const* outs) {
    static_assert(kRowsPerPass == 4);
    constexpr bool twoTaps = FixedGroups < 0;
    const int groups = twoTaps ? 0 : (FixedGroups > 0 ? FixedGroups : (taps + 3) / 4);
    auto weightsOf = [&](int j) {
        return twoTaps ? lanes + std::ptrdiff_t(j / 2) * 16 + (j % 2) * 8 : lanes + std::ptrdiff_t(j) * groups * 16;
    };
    int j = 0;
    for (; j + 2 <= count; j += 2) {
        const RowSums a = outputSums<twoTaps ? 0 : FixedGroups>(mids, weightsOf(j), start[j] - base, groups);
        const RowSums b = outputSums<twoTaps ? 0 : FixedGroups>(mids, weightsOf(j + 1), start[j + 1] - base, groups);
        for (int r = 0; r < 4; ++r) {
            finishTwo(a.row[r], b.row[r], sumOffsets + std::ptrdiff_t(j) * 4, outs[r] + j);
        }
    }
    for (; j < count; ++j) {
        const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
        for (int r = 0; r < kRowsPerPass; ++r) {
            outs[r][j] = horizontalPixel(mids[r] + std::ptrdiff_t(start[j] - base) * 4, w, taps);
        }
    }
}

VI_SSSE3 void horizontalRowsSsse3(const std::int16_t* const* mids, const int* start, int base,
                                  const std::int16_t* weights, const std::int16_t* lanes, const std::int16_t* sumOffsets,
                                  int taps, int count, Pixel* const* outs) {
    if (spreadsInPairsOfOutputs(taps)) {
        return horizontalRowsFixed<-1>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    }
    switch ((taps + 3) / 4) {
    case 1:
        return horizontalRowsFixed<1>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    case 2:
        return horizontalRowsFixed<2>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    case 3:
        return horizontalRowsFixed<3>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    default:
        return horizontalRowsFixed<0>(mids, start, base, weights, lanes, sumOffsets, taps, count, outs);
    }
}

} // namespace

bool ssse3Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

ResampleKernels ssse3Kernels() { return {&verticalSsse3, &horizontalRowsSsse3, true}; }

} // namespace vi::raster::detail

#else

namespace vi::raster::detail {
bool ssse3Available() { return false; }
ResampleKernels ssse3Kernels() { return portableKernels(); }
} // namespace vi::raster::detail

#endif
