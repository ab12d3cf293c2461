#pragma once

#include "Platform/Raster/Geometry.h"
#include "RecordCore/CameraStyle.h"
#include "RecordCore/NRect.h"
#include "RecordCore/OutputFormat.h"

namespace vi {

// Where the compositor puts things on the canvas. Positions here are canvas pixels with the
// origin at the bottom-left and y growing upwards, the convention the layout rules are stated
// in; images keep their top row first. `toRaster` is the one place where the two meet, and
// every drawing call of the compositor goes through it.
namespace CompositorGeometry {

// Canvas pixels, bottom-left origin.
using Rect = raster::RectF;
using Point = raster::PointF;

// The upper edge of an upright rectangle (RectF's own names assume the top-left origin).
inline double maxY(const Rect& r) { return r.y + r.height; }

// The output picture's size in whole pixels at a render scale.
raster::IntPoint canvasSize(OutputFormat format, double scale);

// The video window: the format's window at scale 1 (top-left origin) scaled and turned upright.
Rect window(OutputFormat format, double sourceAspect, double padding, double scale, double canvasHeight);

// The window's corner radius for the project's stored radius (a fraction of the canvas's
// base width in 16:9, of 1080 otherwise); never negative.
double cornerRadius(OutputFormat format, double radius, double scale);

// Height of the band above the window where a header title is drawn; 0 in 16:9.
double headerBand(OutputFormat format, double scale);

// The camera bubble: its square, the corner radius of its shape, the width of its ring and the
// point it shrinks toward when the view zooms in.
struct Bubble {
    Rect rect;
    double radius = 0;
    double ring = 0;
    Point anchor;
};
// `header`: the title is drawn in the band above the window, so a top bubble sits below it.
Bubble bubble(const CameraStyle& style, double canvasWidth, double canvasHeight, double scale, OutputFormat format,
              bool header);

// A normalised point of the shown view (origin top-left) on the canvas inside the window.
Point mapToCanvas(double x, double y, const NRect& view, const Rect& window);

// The conversion to image coordinates (top-left origin) of a canvas of `canvasHeight` rows.
inline Rect toRaster(const Rect& r, double canvasHeight) {
    return {r.x, canvasHeight - r.y - r.height, r.width, r.height};
}
inline Point toRaster(const Point& p, double canvasHeight) { return {p.x, canvasHeight - p.y}; }

} // namespace CompositorGeometry
} // namespace vi
