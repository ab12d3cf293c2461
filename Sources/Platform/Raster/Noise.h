#pragma once

#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

#include <cstdint>

namespace vi::raster {

// Opaque noise over `area`: red, green and blue of every pixel are independent and uniform
// over 0...255. Each pixel depends only on the seed and its canvas position, so the same seed
// gives the same bytes on every run, machine and thread count, whatever part is rendered.
Image noiseImage(const IntRect& area, std::uint64_t seed);

} // namespace vi::raster
