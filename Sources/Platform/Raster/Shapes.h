#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

namespace vi::raster {

// A rectangle with circular corners filled with `color`, anti-aliased: each pixel is covered by
// how far its centre lies inside the shape, so edges at fractional positions come out exact.
// The radius is limited to half the shorter side. The image covers the rectangle's pixels.
Image roundedRectangle(const RectF& rect, double radius, const Color& color);

// Fills the part of `area` (canvas coordinates) inside the bitmap with one colour (no blending).
void fillRect(Bitmap& bitmap, const IntRect& area, const Color& color);

} // namespace vi::raster
