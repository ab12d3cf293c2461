#include "RecordCore/SourceChanges.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vi {

namespace {

// Rows compared as one band: changes are found per band, so a band is the finest height an
// area has. Sixteen rows is one coded macroblock row, the unit an encoder changes.
constexpr int kBandRows = 16;
// Bytes compared at once while looking for the first and last difference in a row.
constexpr int kWord = 8;

struct Plane {
    const std::uint8_t* before;
    const std::uint8_t* after;
    int strideBefore;
    int strideAfter;
    int bytesPerPixel;
    int shiftX; // log2 of the horizontal subsampling
    int shiftY; // the same vertically
};

// The first and one past the last differing byte of two rows, or {n, 0} when they are equal.
std::pair<int, int> differingBytes(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (std::memcmp(a, b, std::size_t(n)) == 0) return {n, 0};
    int first = 0;
    while (first + kWord <= n && std::memcmp(a + first, b + first, kWord) == 0) first += kWord;
    while (first < n && a[first] == b[first]) ++first;
    int end = n;
    while (end - kWord >= first && std::memcmp(a + end - kWord, b + end - kWord, kWord) == 0) end -= kWord;
    while (end > first && a[end - 1] == b[end - 1]) --end;
    return {first, end};
}

std::vector<Plane> planesOf(const media::PixelBuffer& before, const media::PixelBuffer& after) {
    std::vector<Plane> planes;
    if (before.format() == media::PixelFormat::bgra) {
        planes.push_back({before.data(0), after.data(0), before.stride(0), after.stride(0), 4, 0, 0});
    } else {
        for (int p = 0; p < 3; ++p) {
            const int shift = p == 0 ? 0 : 1;
            planes.push_back({before.data(p), after.data(p), before.stride(p), after.stride(p), 1, shift, shift});
        }
    }
    return planes;
}

} // namespace

std::optional<std::vector<raster::IntRect>> sourceChanges(const media::PixelBuffer& before,
                                                          const media::PixelBuffer& after) {
    if (!before || !after || before.format() != after.format() || before.width() != after.width() ||
        before.height() != after.height())
        return std::nullopt;
    if (before.format() != media::PixelFormat::bgra && before.format() != media::PixelFormat::yuv420p)
        return std::nullopt;
    const int width = after.width();
    const int height = after.height();
    // Odd sides of 4:2:0 leave chroma samples that cover half a block: not worth the care.
    if (before.format() == media::PixelFormat::yuv420p && (width % 2 != 0 || height % 2 != 0)) return std::nullopt;
    const std::vector<Plane> planes = planesOf(before, after);

    std::vector<raster::IntRect> areas;
    raster::IntRect open; // the run of changed bands being joined into one area
    auto close = [&] {
        if (!open.isEmpty()) areas.push_back(open);
        open = {};
    };
    for (int top = 0; top < height; top += kBandRows) {
        const int bottom = std::min(height, top + kBandRows);
        int left = width;
        int right = 0;
        for (const Plane& plane : planes) {
            const int rowBytes = (width >> plane.shiftX) * plane.bytesPerPixel;
            for (int y = top >> plane.shiftY; y < bottom >> plane.shiftY; ++y) {
                const auto [first, end] = differingBytes(plane.before + std::ptrdiff_t(y) * plane.strideBefore,
                                                         plane.after + std::ptrdiff_t(y) * plane.strideAfter, rowBytes);
                if (end <= first) continue;
                left = std::min(left, (first / plane.bytesPerPixel) << plane.shiftX);
                right = std::max(right, ((end + plane.bytesPerPixel - 1) / plane.bytesPerPixel) << plane.shiftX);
            }
        }
        if (right <= left) {
            close();
            continue;
        }
        left &= ~1;
        right = std::min(width, (right + 1) & ~1);
        const raster::IntRect band{left, top, right - left, bottom - top};
        if (open.isEmpty()) {
            open = band;
        } else {
            const int joinedLeft = std::min(open.x, band.x);
            open = {joinedLeft, open.y, std::max(open.right(), band.right()) - joinedLeft, band.bottom() - open.y};
        }
    }
    close();
    return areas;
}

} // namespace vi
