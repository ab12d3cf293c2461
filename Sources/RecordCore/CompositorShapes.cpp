#include "RecordCore/CompositorShapes.h"

#include "Platform/Raster/Shapes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vi {

namespace {

// The small shape keeps this much more than its two corners along each side, so that its
// middle row and column lie at least a pixel inside the straight edges (where coverage no
// longer depends on the other axis).
constexpr double cornerMargin = 4;
// Below this many stretched pixels the plain drawing is as quick.
constexpr int worthStretching = 16;

} // namespace

raster::Image stretchedRoundedRectangle(const raster::RectF& rect, double radius, const raster::Color& color) {
    if (rect.isEmpty() || !std::isfinite(rect.x + rect.y + rect.width + rect.height)) {
        return raster::roundedRectangle(rect, radius, color);
    }
    const double r = std::clamp(std::isfinite(radius) ? radius : 0.0, 0.0, std::min(rect.width, rect.height) * 0.5);
    const double keep = 2 * r + cornerMargin;
    // Whole pixels taken out of the middle, so that the far edges keep their sub-pixel position.
    const int dropX = std::max(0, int(std::floor(rect.width - keep)));
    const int dropY = std::max(0, int(std::floor(rect.height - keep)));
    if (dropX < worthStretching && dropY < worthStretching) return raster::roundedRectangle(rect, r, color);

    const raster::Image tile =
        raster::roundedRectangle({rect.x, rect.y, rect.width - dropX, rect.height - dropY}, r, color);
    const raster::IntRect area = rect.enclosingPixels();
    if (tile.isNull() || tile.width() + dropX != area.width || tile.height() + dropY != area.height) {
        return raster::roundedRectangle(rect, r, color);
    }
    const int midColumn = tile.width() / 2;
    const int midRow = tile.height() / 2;
    raster::Bitmap out(area);
    for (int y = 0; y < area.height; ++y) {
        const int from = y < midRow ? y : y <= midRow + dropY ? midRow : y - dropY;
        const raster::Pixel* in = tile.pixels(from);
        raster::Pixel* row = out.pixels(y);
        std::memcpy(row, in, std::size_t(midColumn) * sizeof(raster::Pixel));
        std::fill(row + midColumn, row + midColumn + dropX + 1, in[midColumn]);
        std::memcpy(row + midColumn + dropX + 1, in + midColumn + 1,
                    std::size_t(tile.width() - midColumn - 1) * sizeof(raster::Pixel));
    }
    return std::move(out).freeze();
}

} // namespace vi
