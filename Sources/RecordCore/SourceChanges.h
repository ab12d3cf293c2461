#pragma once

#include "Platform/Media/PixelBuffer.h"
#include "Platform/Raster/Geometry.h"

#include <optional>
#include <vector>

namespace vi {

// Where two decoded frames of a recording differ. A screen recording mostly holds still, and
// its encoder copies unchanged blocks from the frame before exactly, so comparing the decoded
// planes finds the few areas that need converting and composing again.
//
// The areas (pixel rectangles with even corners, inside the picture; none when the frames are
// equal) cover every pixel whose bytes differ in any plane, in bands of whole rows. Nothing when
// the frames cannot be compared: different sizes or layouts, or a layout other than 4:2:0 or
// BGRA.
std::optional<std::vector<raster::IntRect>> sourceChanges(const media::PixelBuffer& before,
                                                          const media::PixelBuffer& after);

} // namespace vi
