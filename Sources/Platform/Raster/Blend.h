#pragma once

#include "Platform/Raster/Image.h"

namespace vi::raster {

// Soft-light blend of `source` onto `backdrop` where they overlap: dark source values darken,
// light ones lighten, mid grey leaves the backdrop alone; the source's alpha sets how much of
// the effect shows (the W3C compositing formula with premultiplied colour).
void softLightBlend(Bitmap& backdrop, const Image& source);

} // namespace vi::raster
