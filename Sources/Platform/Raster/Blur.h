#pragma once

#include "Platform/Raster/Image.h"
#include "Platform/Raster/WorkerPool.h"

namespace vi::raster {

// What lies beyond an image's extent when a filter reaches past it.
enum class Edges {
    clamp,       // the edge pixels continue outward, so borders keep their colour
    transparent, // nothing: colours fade out towards the border
};

// Gaussian blur of standard deviation `sigma` pixels, in premultiplied values.
// With clamped edges the result keeps the image's extent; with transparent edges it grows by
// the blur's reach (ceil(3 sigma)) on every side so that nothing is cut off.
// Small sigmas use the exact Gaussian kernel; larger ones three box passes whose combined
// variance matches sigma^2 to within about 2%.
Image gaussianBlur(const Image& image, double sigma, Edges edges = Edges::clamp,
                   WorkerPool& pool = WorkerPool::shared());

// How far a blur of `sigma` spreads a single pixel (the growth of a transparent-edge result).
int blurReach(double sigma);

} // namespace vi::raster
