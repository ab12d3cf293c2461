#pragma once

#include "Platform/Raster/Image.h"

namespace vi::test {

// A still picture of a desktop at work: a dark wallpaper, an editor window with a title bar,
// line numbers and coloured code, and a terminal panel. Something to compose and look at that
// has the sharp text and flat areas of a real screen.
raster::Image syntheticScreen(int width, int height);

// A camera-like picture: a face-coloured disc with shoulders on a plain wall.
raster::Image syntheticCameraFrame(int width, int height);

} // namespace vi::test
