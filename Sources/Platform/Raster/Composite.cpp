#include "Platform/Raster/Composite.h"

#include "Platform/Raster/PixelMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vi::raster {

using detail::mulDiv255;

namespace {

// Rows below this many pixels are not worth handing to other threads.
constexpr int kRowGrainPixels = 16384;

int rowGrain(int width) { return width > 0 ? std::max(1, kRowGrainPixels / width) : 1; }

// One channel laid over another: s + d (255 - sa) / 255, saturating. For premultiplied colour
// the sum never exceeds 255; colour without coverage (additive light, sa = 0) adds and clips.
inline std::uint8_t over(std::uint32_t s, std::uint32_t d, std::uint32_t inverse) {
    return std::uint8_t(std::min<std::uint32_t>(255u, s + mulDiv255(d, inverse)));
}

inline Pixel faded(Pixel s, std::uint32_t opacity) {
    return {std::uint8_t(mulDiv255(s.b, opacity)), std::uint8_t(mulDiv255(s.g, opacity)),
            std::uint8_t(mulDiv255(s.r, opacity)), std::uint8_t(mulDiv255(s.a, opacity))};
}

inline void overPixel(Pixel& d, Pixel s) {
    const std::uint32_t inverse = 255u - s.a;
    d = {over(s.b, d.b, inverse), over(s.g, d.g, inverse), over(s.r, d.r, inverse), over(s.a, d.a, inverse)};
}

#if defined(__SSE2__)
// x * y / 255 rounded, per 16-bit lane, exactly as mulDiv255 (every product fits 16 bits).
inline __m128i mulDiv255x8(__m128i x, __m128i y) {
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, y), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Each pixel's alpha copied over its four 16-bit lanes.
inline __m128i spreadAlpha(__m128i wide) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(wide, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

// Four pixels of `s` (already faded) over four of `d`.
inline __m128i overFour(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi16(255);
    const __m128i inverseLow = _mm_sub_epi16(all, spreadAlpha(_mm_unpacklo_epi8(s, zero)));
    const __m128i inverseHigh = _mm_sub_epi16(all, spreadAlpha(_mm_unpackhi_epi8(s, zero)));
    const __m128i low = mulDiv255x8(_mm_unpacklo_epi8(d, zero), inverseLow);
    const __m128i high = mulDiv255x8(_mm_unpackhi_epi8(d, zero), inverseHigh);
    return _mm_adds_epu8(s, _mm_packus_epi16(low, high));
}

inline __m128i fadeFour(__m128i s, __m128i opacity) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_packus_epi16(mulDiv255x8(_mm_unpacklo_epi8(s, zero), opacity),
                            mulDiv255x8(_mm_unpackhi_epi8(s, zero), opacity));
}
#endif

// Overlays are mostly empty around their shapes and solid inside them: groups of four pixels
// that are all clear are skipped and all opaque ones copied, the rest blended four at a time.
// `opacity` is in 1/255 (255: as the source is).
void overRow(Pixel* d, const Pixel* s, int count, std::uint32_t opacity) {
    int i = 0;
#if defined(__SSE2__)
    const bool whole = opacity == 255;
    const __m128i spread = _mm_set1_epi16(std::int16_t(opacity));
    const __m128i opaqueAlpha = _mm_set1_epi32(std::int32_t(0xff000000u));
    for (; i + 4 <= count; i += 4) {
        __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(source, _mm_setzero_si128())) == 0xffff) continue;
        auto* target = reinterpret_cast<__m128i*>(d + i);
        if (whole && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(source, opaqueAlpha), opaqueAlpha)) == 0xffff) {
            _mm_storeu_si128(target, source);
            continue;
        }
        if (!whole) source = fadeFour(source, spread);
        _mm_storeu_si128(target, overFour(source, _mm_loadu_si128(target)));
    }
#endif
    for (; i < count; ++i) {
        const Pixel p = opacity == 255 ? s[i] : faded(s[i], opacity);
        if (p.a == 255) {
            d[i] = p;
        } else if (p.a | p.b | p.g | p.r) {
            overPixel(d[i], p);
        }
    }
}

void maskRow(Pixel* d, const Pixel* in, const Pixel* m, int count) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t cover = m[i].a;
        if (cover == 255) {
            d[i] = in[i];
        } else if (cover != 0) {
            const std::uint32_t rest = 255u - cover;
            d[i].b = std::uint8_t(mulDiv255(in[i].b, cover) + mulDiv255(d[i].b, rest));
            d[i].g = std::uint8_t(mulDiv255(in[i].g, cover) + mulDiv255(d[i].g, rest));
            d[i].r = std::uint8_t(mulDiv255(in[i].r, cover) + mulDiv255(d[i].r, rest));
            d[i].a = std::uint8_t(mulDiv255(in[i].a, cover) + mulDiv255(d[i].a, rest));
        }
    }
}

} // namespace

void compositeOver(Bitmap& destination, const Image& source, WorkerPool& pool) {
    compositeOver(destination, source, 1.0, pool);
}

void compositeOver(Bitmap& destination, const Image& source, double opacity, WorkerPool& pool) {
    const IntRect area = destination.extent().intersected(source.extent());
    if (source.isNull() || area.isEmpty()) {
        return;
    }
    // The same rounding as fade(): whole 1/255 steps.
    const auto factor = opacity >= 1.0 ? 255u : std::uint32_t(std::lround(std::clamp(opacity, 0.0, 1.0) * 255.0));
    if (factor == 0) {
        return;
    }
    const IntPoint d = destination.origin();
    const IntPoint s = source.origin();
    pool.parallelFor(area.height, [&](int begin, int end) {
        for (int y = area.y + begin; y < area.y + end; ++y) {
            overRow(destination.pixels(y - d.y) + (area.x - d.x), source.pixels(y - s.y) + (area.x - s.x), area.width,
                    factor);
        }
    }, rowGrain(area.width));
}

void blendWithMask(Bitmap& destination, const Image& input, const Image& mask, WorkerPool& pool) {
    const IntRect area = destination.extent().intersected(mask.extent());
    if (mask.isNull() || area.isEmpty()) {
        return;
    }
    const IntRect inputArea = input.isNull() ? IntRect{} : input.extent();
    const IntPoint d = destination.origin();
    const IntPoint m = mask.origin();
    pool.parallelFor(area.height, [&](int begin, int end) {
        std::vector<Pixel> transparentRow;
        for (int y = area.y + begin; y < area.y + end; ++y) {
            Pixel* dst = destination.pixels(y - d.y) + (area.x - d.x);
            const Pixel* msk = mask.pixels(y - m.y) + (area.x - m.x);
            const IntRect span = IntRect{area.x, y, area.width, 1}.intersected(inputArea);
            if (span.isEmpty() || span.width != area.width) {
                // Where the input does not reach, the blend shows transparency through the mask.
                if (transparentRow.empty()) {
                    transparentRow.resize(std::size_t(area.width));
                }
                std::fill(transparentRow.begin(), transparentRow.end(), Pixel{});
                if (!span.isEmpty()) {
                    std::memcpy(transparentRow.data() + (span.x - area.x),
                                input.pixels(y - input.origin().y) + (span.x - input.origin().x),
                                std::size_t(span.width) * sizeof(Pixel));
                }
                maskRow(dst, transparentRow.data(), msk, area.width);
            } else {
                maskRow(dst, input.pixels(y - input.origin().y) + (area.x - input.origin().x), msk, area.width);
            }
        }
    }, rowGrain(area.width));
}

} // namespace vi::raster
