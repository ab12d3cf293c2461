#pragma once

// Internal to the media layer: the conversion every written frame takes, from BGRA to 4:2:0
// planes. libswscale's path for it is a generic one, several times slower than this loop.

#include "Platform/Media/PixelBuffer.h"

namespace vi::media::detail {

// Same-size conversion of a BGRA picture into yuv420p planes (even width and height) with the
// given matrix and range; each chroma sample is the average of its 2 x 2 pixels. The AVX2 loops
// run where the processor has them unless `widestLoops` is false (tests compare the two; both
// give the same bytes).
void bgraToYuv420(const ImageView& bgra, const ImageView& yuv, ColorMatrix matrix, ColorRange range,
                  bool widestLoops = true);

} // namespace vi::media::detail
