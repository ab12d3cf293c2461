#pragma once

#include "Platform/Raster/Gradient.h"

#include <QPointF>

class QPainter;

namespace vi::raster {

// Gradients drawn with a QPainter, in its coordinates and within its clip, the way vector
// drawing code states them: between a start and an end, and beyond them only where the ramp
// extends (extendBefore: the first colour continues before the start; extendAfter: the last
// colour continues after the end). Unlike renderGradient these follow the painter's
// transform (a scaled radial gradient is an ellipse) and its clip path.

// A linear gradient along the line from start to end, across the whole device.
void drawLinearGradient(QPainter& painter, QPointF start, QPointF end, const GradientRamp& ramp);

// A radial gradient between two circles about one centre: the first colour at startRadius,
// the last at endRadius; extending before fills the inner disc, after the outside.
void drawRadialGradient(QPainter& painter, QPointF centre, double startRadius, double endRadius,
                        const GradientRamp& ramp);

} // namespace vi::raster
