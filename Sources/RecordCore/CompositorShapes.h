#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

namespace vi {

// A large rounded rectangle, pixel for pixel the one raster::roundedRectangle draws, made from a
// small one whose straight middle row and column are stretched: only the corners need the
// per-pixel distance work, so a window-sized shape costs a copy instead of millions of square
// roots. The compositor makes several (window mask, rim, shadow) for every render.
raster::Image stretchedRoundedRectangle(const raster::RectF& rect, double radius, const raster::Color& color);

} // namespace vi
