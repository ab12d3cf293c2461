#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

#include <vector>

namespace vi::raster {

// A colour at a position 0...1 along a gradient.
struct GradientStop {
    double location = 0;
    Color color;
};

// Colours between stops are interpolated in premultiplied sRGB-encoded values. Beyond the
// first or last stop the end colour continues when extended, otherwise nothing is drawn.
struct GradientRamp {
    std::vector<GradientStop> stops;
    bool extendBefore = true;
    bool extendAfter = true;

    static GradientRamp between(const Color& from, const Color& to) { return {{{0, from}, {1, to}}}; }
    // Stops spread evenly from 0 to 1.
    static GradientRamp even(const std::vector<Color>& colors);
};

// Colour changes along the line from `start` (t = 0) to `end` (t = 1) and is constant across it.
struct LinearGradient {
    PointF start;
    PointF end;
    GradientRamp ramp;
};

// Colour changes with the distance from `center`: t = 0 at `startRadius`, 1 at `endRadius`.
struct RadialGradient {
    PointF center;
    double startRadius = 0;
    double endRadius = 1;
    GradientRamp ramp;
};

// The gradient sampled at pixel centres over `area` (canvas coordinates).
Image renderGradient(const LinearGradient& gradient, const IntRect& area);
Image renderGradient(const RadialGradient& gradient, const IntRect& area);

} // namespace vi::raster
