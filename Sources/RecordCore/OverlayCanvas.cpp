#include "RecordCore/OverlayCanvas.h"

#include "Platform/Raster/QtBridge.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

namespace vi::overlay {

namespace {
// Far beyond any overlay (the widest is a caption line of a 4K canvas, 3303 pixels); a larger
// size comes from absurd inputs, which get no image rather than hundreds of megabytes.
constexpr double kLargestSide = 8192;
} // namespace

int wholePixels(double size) {
    if (!(size > 0) || size > kLargestSide) {
        return 0;
    }
    return int(std::ceil(size));
}

raster::Image paint(int width, int height, const std::function<void(QPainter&)>& draw) {
    // Only an exhausted memory refuses these small images; a frame then goes without the
    // overlay rather than the render failing.
    try {
        return raster::paintImage({0, 0, std::max(0, width), std::max(0, height)}, draw);
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
}

} // namespace vi::overlay
