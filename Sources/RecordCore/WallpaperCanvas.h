#pragma once

// Drawing helpers shared by the wallpaper painters.

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Gradient.h"
#include "Platform/Raster/Image.h"
#include "RecordCore/Seeded.h"

#include <QPainter>

#include <functional>
#include <optional>
#include <vector>

namespace vi::wallpaper {

using raster::Color;

// A transparent canvas of the size truncated to whole pixels, painted by `draw` with the
// painter's origin at the bottom-left and y growing upwards (the recipes' own coordinates);
// none when the size is empty or the canvas cannot be allocated.
std::optional<raster::Image> paintCanvas(double width, double height,
                                         const std::function<void(QPainter&, double w, double h)>& draw);

// A field of stars: for each, x = u W and y = top - u span (two draws), then a size draw m = u^3
// that makes brighter stars larger. The classic field covers the whole height (top H, span H).
void starField(QPainter& painter, Seeded& rng, int count, double width, double top, double span);

// A colour moved a fraction of the way toward another (alpha kept).
Color mix(const Color& from, const Color& toward, double fraction);

void fillEllipse(QPainter& painter, const QRectF& box, const Color& color);

// Where a gradient's end colours continue beyond its start and end.
enum class Extend { none, before, after, both };
raster::GradientRamp ramp(std::vector<raster::GradientStop> stops, Extend extend);
raster::GradientRamp evenRamp(const std::vector<Color>& colors, Extend extend);

} // namespace vi::wallpaper
