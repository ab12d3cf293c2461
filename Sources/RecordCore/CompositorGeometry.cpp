#include "RecordCore/CompositorGeometry.h"

#include <algorithm>
#include <cmath>

namespace vi::CompositorGeometry {

namespace {

// The canvas width a 16:9 corner radius is a fraction of; the other formats use 1080.
constexpr double wideRadiusBase = 1920;
constexpr double narrowRadiusBase = 1080;
// The bubble keeps this fraction of the canvas's shorter side from the edges.
constexpr double bubbleMargin = 0.035;
// Corner radius of a bubble as a fraction of its side, by shape.
constexpr double circleCorner = 0.5;
constexpr double squareCorner = 0.07;
constexpr double roundedCorner = 0.22;
// Ring width around the bubble at scale 1: a visible border, or a thin rim.
constexpr double borderRing = 4.0;
constexpr double thinRing = 2.5;

} // namespace

raster::IntPoint canvasSize(OutputFormat format, double scale) {
    const CanvasSize size = format.canvas(scale);
    return {int(std::lround(size.width)), int(std::lround(size.height))};
}

Rect window(OutputFormat format, double sourceAspect, double padding, double scale, double canvasHeight) {
    const CanvasRect r = format.window(sourceAspect, padding);
    return {r.x * scale, canvasHeight - r.maxY() * scale, r.width * scale, r.height * scale};
}

double cornerRadius(OutputFormat format, double radius, double scale) {
    const double base = format == OutputFormat::youtube ? wideRadiusBase : narrowRadiusBase;
    return std::max(0.0, base * radius * scale);
}

double headerBand(OutputFormat format, double scale) { return format.headerHeight() * scale; }

Bubble bubble(const CameraStyle& style, double width, double height, double scale, OutputFormat format, bool header) {
    const double shorter = std::min(width, height);
    const double side = std::round(style.size * shorter);
    const double inset = header ? headerBand(format, scale) : 0.0;
    const double margin = bubbleMargin * shorter;
    // A corner text of one letter serves as both; an empty one is bottom-right.
    const char column = style.corner.empty() ? 'r' : style.corner.back();
    const char row = style.corner.empty() ? 'b' : style.corner.front();

    const double x = column == 'l' ? margin : column == 'c' ? (width - side) * 0.5 : width - side - margin;
    const double y = row == 't' ? height - inset - side - margin : row == 'm' ? (height - side) * 0.5 : margin;
    Bubble bubble;
    bubble.rect = {x, y, side, side};
    const double corner = style.shape == "circle" ? circleCorner : style.shape == "square" ? squareCorner : roundedCorner;
    bubble.radius = side * corner;
    bubble.ring = (style.border ? borderRing : thinRing) * scale;
    bubble.anchor = {column == 'l' ? bubble.rect.x : column == 'c' ? bubble.rect.midX() : bubble.rect.right(),
                     row == 't' ? maxY(bubble.rect) : row == 'm' ? bubble.rect.midY() : bubble.rect.y};
    return bubble;
}

Point mapToCanvas(double x, double y, const NRect& view, const Rect& window) {
    return {window.x + (x - view.x) / view.w * window.width, maxY(window) - (y - view.y) / view.h * window.height};
}

} // namespace vi::CompositorGeometry
