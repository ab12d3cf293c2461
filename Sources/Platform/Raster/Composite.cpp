#include "Platform/Raster/Composite.h"

#include "Platform/Raster/PixelMath.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vi::raster {

using detail::mulDiv255;

namespace {

// Rows below this many pixels are not worth handing to other threads.
constexpr int kRowGrainPixels = 16384;

int rowGrain(int width) { return width > 0 ? std::max(1, kRowGrainPixels / width) : 1; }

void overRow(Pixel* d, const Pixel* s, int count) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t inverse = 255u - s[i].a;
        if (inverse == 0) {
            d[i] = s[i];
        } else if (inverse != 255) {
            d[i].b = std::uint8_t(s[i].b + mulDiv255(d[i].b, inverse));
            d[i].g = std::uint8_t(s[i].g + mulDiv255(d[i].g, inverse));
            d[i].r = std::uint8_t(s[i].r + mulDiv255(d[i].r, inverse));
            d[i].a = std::uint8_t(s[i].a + mulDiv255(d[i].a, inverse));
        } else if (s[i].b | s[i].g | s[i].r) {
            // Colour without coverage (additive light) still adds.
            d[i].b = std::uint8_t(std::min<std::uint32_t>(255u, std::uint32_t(d[i].b) + s[i].b));
            d[i].g = std::uint8_t(std::min<std::uint32_t>(255u, std::uint32_t(d[i].g) + s[i].g));
            d[i].r = std::uint8_t(std::min<std::uint32_t>(255u, std::uint32_t(d[i].r) + s[i].r));
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
    const IntRect area = destination.extent().intersected(source.extent());
    if (source.isNull() || area.isEmpty()) {
        return;
    }
    const IntPoint d = destination.origin();
    const IntPoint s = source.origin();
    pool.parallelFor(area.height, [&](int begin, int end) {
        for (int y = area.y + begin; y < area.y + end; ++y) {
            overRow(destination.pixels(y - d.y) + (area.x - d.x), source.pixels(y - s.y) + (area.x - s.x), area.width);
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
