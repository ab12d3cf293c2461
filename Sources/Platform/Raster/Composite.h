#pragma once

#include "Platform/Raster/Image.h"
#include "Platform/Raster/WorkerPool.h"

namespace vi::raster {

// Lays `source` over `destination` where they overlap on the canvas (source-over with
// premultiplied colour: d = s + d (1 - sa)).
void compositeOver(Bitmap& destination, const Image& source, WorkerPool& pool = WorkerPool::shared());
// The same with the source faded to `opacity` on the way (every channel times the opacity
// rounded to 1/255, as fade() does), without making the faded image. Opacity 1 lays it as is.
void compositeOver(Bitmap& destination, const Image& source, double opacity, WorkerPool& pool = WorkerPool::shared());

// Shows `input` where `mask` covers and leaves `destination` (the background) elsewhere:
// d = i m + d (1 - m), with m the mask's coverage (its alpha: masks are white shapes on
// transparent). Outside the mask's extent nothing changes; outside the input's extent the
// input counts as transparent.
void blendWithMask(Bitmap& destination, const Image& input, const Image& mask, WorkerPool& pool = WorkerPool::shared());

} // namespace vi::raster
