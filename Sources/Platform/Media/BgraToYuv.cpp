#include "Platform/Media/BgraToYuv.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VI_BGRA_TO_YUV_AVX2 1
#define VI_AVX2 __attribute__((target("avx2")))
#endif

namespace vi::media::detail {

namespace {

// Fixed-point weights (scaled by 2^15, so they fit 16-bit lanes) of R, G and B in Y, Cb and Cr,
// with the range's scale (219/255 for luma, 224/255 for chroma in limited range) folded in.
struct Weights {
    int16_t yr, yg, yb, ur, ug, ub, vr, vg, vb;
    int32_t lumaOffset;
};

constexpr int kShift = 15;
constexpr int32_t kHalf = 1 << (kShift - 1);

constexpr int16_t fixed(double value)
{
    return static_cast<int16_t>(value * (1 << kShift) + (value < 0 ? -0.5 : 0.5));
}

constexpr Weights weightsFor(double kr, double kb, bool limited)
{
    const double kg = 1 - kr - kb;
    const double lumaScale = limited ? 219.0 / 255.0 : 1.0;
    // 0.5 x 224/255 and 0.5 stay below 1 in 2^15 fixed point only as 16383.5: the chroma maxima
    // are 0.5, which is exactly 16384 and still fits.
    const double chromaScale = limited ? 224.0 / 255.0 : 1.0;
    const double cbDivisor = 2 * (1 - kb), crDivisor = 2 * (1 - kr);
    return {fixed(kr * lumaScale),
            fixed(kg * lumaScale),
            fixed(kb * lumaScale),
            fixed(-kr / cbDivisor * chromaScale),
            fixed(-kg / cbDivisor * chromaScale),
            fixed(0.5 * chromaScale),
            fixed(0.5 * chromaScale),
            fixed(-kg / crDivisor * chromaScale),
            fixed(-kb / crDivisor * chromaScale),
            limited ? 16 : 0};
}

constexpr Weights kBt709Limited = weightsFor(0.2126, 0.0722, true);
constexpr Weights kBt709Full = weightsFor(0.2126, 0.0722, false);
constexpr Weights kBt601Limited = weightsFor(0.299, 0.114, true);
constexpr Weights kBt601Full = weightsFor(0.299, 0.114, false);

inline uint8_t lumaOf(const Weights& w, const uint8_t* pixel)
{
    return static_cast<uint8_t>(((w.yr * pixel[2] + w.yg * pixel[1] + w.yb * pixel[0] + kHalf) >> kShift) +
                                w.lumaOffset);
}

#if defined(__SSE2__)
// The 32-bit lanes 0, 2 of `first` and of `second`, and lanes 1, 3 of each.
inline __m128 evenLanes(__m128i first, __m128i second)
{
    return _mm_shuffle_ps(_mm_castsi128_ps(first), _mm_castsi128_ps(second), _MM_SHUFFLE(2, 0, 2, 0));
}
inline __m128 oddLanes(__m128i first, __m128i second)
{
    return _mm_shuffle_ps(_mm_castsi128_ps(first), _mm_castsi128_ps(second), _MM_SHUFFLE(3, 1, 3, 1));
}

// Four BGRA pixels (two in `low`, two in `high` after widening) weighed by (b, g, r, 0): one
// 32-bit result each, rounded with `rounding` and shifted back to whole code values.
inline __m128i weighFour(__m128i pixels, __m128i weights, __m128i rounding)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi8(pixels, zero), weights);
    const __m128i second = _mm_madd_epi16(_mm_unpackhi_epi8(pixels, zero), weights);
    const __m128i sum = _mm_add_epi32(_mm_castps_si128(evenLanes(first, second)), _mm_castps_si128(oddLanes(first, second)));
    return _mm_srai_epi32(_mm_add_epi32(sum, rounding), kShift);
}
#endif

#if defined(VI_BGRA_TO_YUV_AVX2)
// The same steps on 256-bit vectors, for processors that have AVX2 (chosen at run time). The
// arithmetic is the SSE2 loops', so both give the same bytes; the shuffles only undo the way
// 256-bit unpacks and packs work within 128-bit halves.
VI_AVX2 inline __m256i evenLanes256(__m256i first, __m256i second)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(first), _mm256_castsi256_ps(second), _MM_SHUFFLE(2, 0, 2, 0)));
}
VI_AVX2 inline __m256i oddLanes256(__m256i first, __m256i second)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(first), _mm256_castsi256_ps(second), _MM_SHUFFLE(3, 1, 3, 1)));
}

// Eight BGRA pixels in order in, their eight weighed values in order out.
VI_AVX2 inline __m256i weighEight(__m256i pixels, __m256i weights, __m256i rounding)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i first = _mm256_madd_epi16(_mm256_unpacklo_epi8(pixels, zero), weights);
    const __m256i second = _mm256_madd_epi16(_mm256_unpackhi_epi8(pixels, zero), weights);
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(evenLanes256(first, second), oddLanes256(first, second)), rounding),
                             kShift);
}

// Returns how many pixels it did (whole steps of sixteen).
VI_AVX2 int lumaRowAvx2(const Weights& w, const uint8_t* bgra, uint8_t* luma, int width)
{
    const __m256i weights = _mm256_setr_epi16(w.yb, w.yg, w.yr, 0, w.yb, w.yg, w.yr, 0, w.yb, w.yg, w.yr, 0, w.yb,
                                              w.yg, w.yr, 0);
    const __m256i rounding = _mm256_set1_epi32(kHalf + (w.lumaOffset << kShift));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i low = weighEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgra + 4 * x)), weights, rounding);
        const __m256i high =
            weighEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgra + 4 * x + 32)), weights, rounding);
        // Packing works per half: 0-3, 8-11 | 4-7, 12-15; the permute puts the quarters in order.
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i bytes = _mm256_packus_epi16(words, _mm256_setzero_si256());
        const __m128i both = _mm_unpacklo_epi64(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + x), both);
    }
    return x;
}

VI_AVX2 int chromaRowAvx2(const Weights& w, const uint8_t* top, const uint8_t* bottom, uint8_t* cb, uint8_t* cr, int width)
{
    const __m256i cbWeights = _mm256_setr_epi16(w.ub, w.ug, w.ur, 0, w.ub, w.ug, w.ur, 0, w.ub, w.ug, w.ur, 0, w.ub,
                                                w.ug, w.ur, 0);
    const __m256i crWeights = _mm256_setr_epi16(w.vb, w.vg, w.vr, 0, w.vb, w.vg, w.vr, 0, w.vb, w.vg, w.vr, 0, w.vb,
                                                w.vg, w.vr, 0);
    const __m256i rounding = _mm256_set1_epi32(kHalf + (128 << kShift));
    // Blocks come out of the averaging as 0, 1, 4, 5 | 2, 3, 6, 7.
    const __m256i blockOrder = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i first = _mm256_avg_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * x)),
                                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * x)));
        const __m256i second = _mm256_avg_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * x + 32)),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * x + 32)));
        const __m256i blocks = _mm256_permutevar8x32_epi32(
            _mm256_avg_epu8(evenLanes256(first, second), oddLanes256(first, second)), blockOrder);
        const __m256i blue = weighEight(blocks, cbWeights, rounding);
        const __m256i red = weighEight(blocks, crWeights, rounding);
        // Per half: four blue then four red values.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(blue, red), _mm256_setzero_si256());
        const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x / 2), both);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x / 2), _mm_srli_si128(both, 8));
    }
    return x;
}

bool avx2Available()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

void lumaRow(const Weights& w, const uint8_t* bgra, uint8_t* luma, int width, bool wide)
{
    int x = 0;
#if defined(VI_BGRA_TO_YUV_AVX2)
    if (wide)
        x = lumaRowAvx2(w, bgra, luma, width);
#else
    (void)wide;
#endif
#if defined(__SSE2__)
    // Eight pixels a step: B, G, R, A widened to 16 bits and multiplied-and-added pairwise.
    const __m128i weights = _mm_setr_epi16(w.yb, w.yg, w.yr, 0, w.yb, w.yg, w.yr, 0);
    const __m128i rounding = _mm_set1_epi32(kHalf + (w.lumaOffset << kShift));
    for (; x + 8 <= width; x += 8) {
        const __m128i low = weighFour(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bgra + 4 * x)), weights, rounding);
        const __m128i high = weighFour(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bgra + 4 * x + 16)), weights, rounding);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(luma + x),
                         _mm_packus_epi16(_mm_packs_epi32(low, high), _mm_setzero_si128()));
    }
#endif
    for (; x < width; ++x)
        luma[x] = lumaOf(w, bgra + 4 * x);
}

// One row of chroma from two rows of pixels: each sample weighs the sum of its four pixels.
void chromaRow(const Weights& w, const uint8_t* top, const uint8_t* bottom, uint8_t* cb, uint8_t* cr, int width,
               bool wide)
{
    constexpr int32_t kCentre = 128 << (kShift + 2);
    constexpr int32_t kRounding = kHalf << 2;
    int x = 0;
#if defined(VI_BGRA_TO_YUV_AVX2)
    if (wide)
        x = chromaRowAvx2(w, top, bottom, cb, cr, width);
#else
    (void)wide;
#endif
#if defined(__SSE2__)
    // Four samples a step: the 2 x 2 blocks averaged (rows, then neighbours), then weighed.
    const __m128i cbWeights = _mm_setr_epi16(w.ub, w.ug, w.ur, 0, w.ub, w.ug, w.ur, 0);
    const __m128i crWeights = _mm_setr_epi16(w.vb, w.vg, w.vr, 0, w.vb, w.vg, w.vr, 0);
    const __m128i rounding = _mm_set1_epi32(kHalf + (128 << kShift));
    const __m128i zero = _mm_setzero_si128();
    for (; x + 8 <= width; x += 8) {
        const __m128i first = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * x)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * x)));
        const __m128i second = _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * x + 16)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * x + 16)));
        const __m128i blocks = _mm_avg_epu8(_mm_castps_si128(evenLanes(first, second)),
                                            _mm_castps_si128(oddLanes(first, second)));
        const __m128i blue = weighFour(blocks, cbWeights, rounding);
        const __m128i red = weighFour(blocks, crWeights, rounding);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(blue, red), zero);
        const auto both = static_cast<uint64_t>(_mm_cvtsi128_si64(packed));
        for (int k = 0; k < 4; ++k) {
            cb[x / 2 + k] = static_cast<uint8_t>(both >> (8 * k));
            cr[x / 2 + k] = static_cast<uint8_t>(both >> (8 * (k + 4)));
        }
    }
#endif
    for (; x + 1 < width; x += 2) {
        const uint8_t* a = top + 4 * x;
        const uint8_t* b = bottom + 4 * x;
        const int32_t r4 = a[2] + a[6] + b[2] + b[6];
        const int32_t g4 = a[1] + a[5] + b[1] + b[5];
        const int32_t b4 = a[0] + a[4] + b[0] + b[4];
        cb[x / 2] = static_cast<uint8_t>((w.ur * r4 + w.ug * g4 + w.ub * b4 + kCentre + kRounding) >> (kShift + 2));
        cr[x / 2] = static_cast<uint8_t>((w.vr * r4 + w.vg * g4 + w.vb * b4 + kCentre + kRounding) >> (kShift + 2));
    }
}

} // namespace

void bgraToYuv420(const ImageView& bgra, const ImageView& yuv, ColorMatrix matrix, ColorRange range, bool widestLoops)
{
    const bool limited = range == ColorRange::limited;
    const Weights& w = matrix == ColorMatrix::bt709 ? (limited ? kBt709Limited : kBt709Full)
                                                    : (limited ? kBt601Limited : kBt601Full);
    const int width = bgra.width & ~1, height = bgra.height & ~1;
#if defined(VI_BGRA_TO_YUV_AVX2)
    static const bool avx2 = avx2Available();
    const bool wide = avx2 && widestLoops;
#else
    (void)widestLoops;
    const bool wide = false;
#endif
    auto row = [](const uint8_t* base, int stride, int y) { return const_cast<uint8_t*>(base + static_cast<ptrdiff_t>(y) * stride); };
    for (int y = 0; y < height; y += 2) {
        const uint8_t* top = row(bgra.data[0], bgra.stride[0], y);
        const uint8_t* bottom = row(bgra.data[0], bgra.stride[0], y + 1);
        lumaRow(w, top, row(yuv.data[0], yuv.stride[0], y), width, wide);
        lumaRow(w, bottom, row(yuv.data[0], yuv.stride[0], y + 1), width, wide);
        chromaRow(w, top, bottom, row(yuv.data[1], yuv.stride[1], y / 2), row(yuv.data[2], yuv.stride[2], y / 2), width,
                  wide);
    }
}

} // namespace vi::media::detail
