#include "RecordCore/WindowComposite.h"

#include "Platform/Raster/PixelMath.h"

#include <algorithm>
#include <cstring>

namespace vi {

namespace {

using raster::Pixel;
using raster::detail::mulDiv255;

// Rows per chunk handed to a worker.
constexpr int rowGrain = 32;

void blend(Pixel* d, const Pixel* in, const Pixel* background, const Pixel* m, int count) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t cover = m[i].a;
        const std::uint32_t rest = 255u - cover;
        d[i].b = std::uint8_t(mulDiv255(in[i].b, cover) + mulDiv255(background[i].b, rest));
        d[i].g = std::uint8_t(mulDiv255(in[i].g, cover) + mulDiv255(background[i].g, rest));
        d[i].r = std::uint8_t(mulDiv255(in[i].r, cover) + mulDiv255(background[i].r, rest));
        d[i].a = std::uint8_t(mulDiv255(in[i].a, cover) + mulDiv255(background[i].a, rest));
    }
}

void copy(Pixel* d, const Pixel* s, int count) {
    if (count > 0) std::memcpy(d, s, std::size_t(count) * sizeof(Pixel));
}

// A row of an image over [x, x + width) of the canvas: its own pixels when it covers all of
// them, otherwise a copy padded with transparency.
const Pixel* rowOver(const raster::Image& image, int y, int x, int width, std::vector<Pixel>& scratch) {
    const raster::IntRect e = image.isNull() ? raster::IntRect{} : image.extent();
    if (y >= e.y && y < e.bottom() && e.x <= x && e.right() >= x + width) return image.pixels(y - e.y) + (x - e.x);
    scratch.assign(std::size_t(width), Pixel{});
    const int from = std::max(e.x, x);
    const int to = std::min(e.right(), x + width);
    if (y >= e.y && y < e.bottom() && to > from) copy(scratch.data() + (from - x), image.pixels(y - e.y) + (from - e.x), to - from);
    return scratch.data();
}

raster::IntRect united(const raster::IntRect& a, const raster::IntRect& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    return {left, top, std::max(a.right(), b.right()) - left, std::max(a.bottom(), b.bottom()) - top};
}

} // namespace

WindowComposite::WindowComposite(raster::Image mask) : mask_(std::move(mask)) {
    if (mask_.isNull()) return;
    full_.resize(std::size_t(mask_.height()));
    for (int y = 0; y < mask_.height(); ++y) {
        const Pixel* row = mask_.pixels(y);
        int begin = 0;
        while (begin < mask_.width() && row[begin].a != 255) ++begin;
        int end = mask_.width();
        while (end > begin && row[end - 1].a != 255) --end;
        full_[std::size_t(y)] = {mask_.origin().x + begin, mask_.origin().x + end};
    }
}

void WindowComposite::compose(raster::Bitmap& canvas, const raster::Image& backdrop, const raster::IntRect& drawn,
                              raster::WorkerPool& pool, const raster::IntRect& within) const {
    const raster::IntRect whole{0, 0, canvas.width(), canvas.height()};
    const raster::IntRect clip = within.isEmpty() ? whole : within.intersected(whole);
    if (clip.isEmpty()) return;
    const raster::IntRect area = mask_.isNull() ? raster::IntRect{} : mask_.extent().intersected(whole);
    // Writes [from, to) of one row, cut to the clip's columns.
    auto clipped = [&](int from, int to, auto&& write) {
        const int begin = std::max(from, clip.x);
        const int end = std::min(to, clip.right());
        if (end > begin) write(begin, end - begin);
    };
    pool.parallelFor(clip.height, [&](int chunkBegin, int chunkEnd) {
        std::vector<Pixel> partial;
        for (int y = clip.y + chunkBegin; y < clip.y + chunkEnd; ++y) {
            Pixel* out = canvas.pixels(y);
            const Pixel* back = backdrop.pixels(y);
            auto fill = [&](int x, int count) { copy(out + x, back + x, count); };
            if (y < area.y || y >= area.bottom()) {
                clipped(0, whole.width, fill);
                continue;
            }
            // Rows of the mask and the picture from the area's left edge on.
            const Pixel* cover = mask_.pixels(y - mask_.origin().y) + (area.x - mask_.origin().x);
            Pixel* row = out + area.x;
            const Pixel* in = row;
            if (!(drawn.x <= area.x && drawn.right() >= area.right() && y >= drawn.y && y < drawn.bottom())) {
                // A row the picture does not fully reach: transparent where it is missing. The
                // drawn part is set aside first, as the backdrop is about to cover it.
                partial.assign(std::size_t(area.width), Pixel{});
                const int from = std::max(drawn.x, area.x);
                const int to = std::min(drawn.right(), area.right());
                if (y >= drawn.y && y < drawn.bottom() && to > from) copy(partial.data() + (from - area.x), out + from, to - from);
                in = partial.data();
            }
            const Span span = full_[std::size_t(y - mask_.origin().y)];
            const int begin = std::clamp(span.begin, area.x, area.right());
            const int end = std::clamp(span.end, begin, area.right());
            // `in` and `cover` start at the area's left edge; x is a canvas column.
            auto edge = [&](int x, int count) { blend(out + x, in + (x - area.x), back + x, cover + (x - area.x), count); };
            clipped(0, area.x, fill);
            clipped(area.x, begin, edge);
            if (in != row) clipped(begin, end, [&](int x, int count) { copy(out + x, in + (x - area.x), count); });
            clipped(end, area.right(), edge);
            clipped(area.right(), whole.width, fill);
        }
    }, rowGrain);
}

void composeBubble(raster::Bitmap& canvas, const raster::Image& under, const raster::Image& picture,
                   const raster::Image& mask, raster::WorkerPool& pool) {
    const raster::IntRect area = united(under.isNull() ? raster::IntRect{} : under.extent(),
                                        mask.isNull() ? raster::IntRect{} : mask.extent())
                                     .intersected(canvas.extent());
    if (area.isEmpty()) return;
    pool.parallelFor(area.height, [&](int first, int last) {
        std::vector<Pixel> underRow, pictureRow, maskRow;
        for (int y = area.y + first; y < area.y + last; ++y) {
            const Pixel* u = rowOver(under, y, area.x, area.width, underRow);
            const Pixel* p = rowOver(picture, y, area.x, area.width, pictureRow);
            const Pixel* m = rowOver(mask, y, area.x, area.width, maskRow);
            Pixel* d = canvas.pixels(y - canvas.origin().y) + (area.x - canvas.origin().x);
            for (int i = 0; i < area.width; ++i) {
                const std::uint32_t cover = m[i].a;
                if (cover == 255) {
                    d[i] = p[i];
                    continue;
                }
                // Beyond the shadow and outside the bubble nothing changes.
                if (cover == 0 && (u[i].a | u[i].b | u[i].g | u[i].r) == 0) continue;
                const std::uint32_t open = 255u - u[i].a;
                Pixel laid{std::uint8_t(u[i].b + mulDiv255(d[i].b, open)), std::uint8_t(u[i].g + mulDiv255(d[i].g, open)),
                            std::uint8_t(u[i].r + mulDiv255(d[i].r, open)), std::uint8_t(u[i].a + mulDiv255(d[i].a, open))};
                if (cover != 0) blend(&laid, &p[i], &laid, &m[i], 1);
                d[i] = laid;
            }
        }
    }, rowGrain);
}

} // namespace vi
