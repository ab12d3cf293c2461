#pragma once

#include "Platform/Raster/Color.h"

#include <QPointF>

#include <span>
#include <vector>

class QPainter;

namespace vi::raster {

// Gradients drawn with a QPainter the way vector drawing code states them: within the
// painter's clip, between a start and an end, and beyond them only where asked.
enum class GradientExtend {
    None,   // nothing is drawn before the start or after the end
    Before, // the first colour continues before the start
    After,  // the last colour continues after the end
    Both,
};

struct GradientStop {
    double location; // 0...1
    Color color;
};

// Stops at evenly spread locations (0, 1/(n-1), ..., 1).
std::vector<GradientStop> evenStops(std::span<const Color> colors);

// A linear gradient along the line from start to end, drawn in the painter's coordinates
// across the whole of its device (perpendicular to that line).
void drawLinearGradient(QPainter& painter, QPointF start, QPointF end, std::span<const GradientStop> stops,
                        GradientExtend extend);

// A radial gradient between two circles about one centre: the first colour at startRadius,
// the last at endRadius. "Before" fills the inner disc with the first colour, "after" the
// outside of the end circle with the last.
void drawRadialGradient(QPainter& painter, QPointF centre, double startRadius, double endRadius,
                        std::span<const GradientStop> stops, GradientExtend extend);

} // namespace vi::raster
