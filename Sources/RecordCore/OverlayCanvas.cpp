#include "RecordCore/OverlayCanvas.h"

#include "Platform/Raster/QtBridge.h"

#include <algorithm>
#include <cmath>

namespace vi::overlay {

namespace {
// Far beyond any overlay (the widest is a caption line of a 4K canvas); keeps ceil() of an
// absurd size from reaching the raster's size limit.
constexpr double kLargestSide = 8192;
} // namespace

int wholePixels(double size) {
    if (!(size > 0)) {
        return 0;
    }
    return int(std::ceil(std::min(size, kLargestSide)));
}

raster::Image paint(int width, int height, const std::function<void(QPainter&)>& draw) {
    return raster::paintImage({0, 0, std::max(0, width), std::max(0, height)}, draw);
}

} // namespace vi::overlay
