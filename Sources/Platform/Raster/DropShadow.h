#pragma once

#include "Platform/Raster/Color.h"

#include <functional>

class QPainter;

namespace vi::raster {

// A shadow as vector drawing code sets one: a colour, a blur and an offset in device pixels
// (x to the right, y downwards).
struct DropShadow {
    Color color;
    // The drawing code's "blur" of a shadow, which spreads about twice as far as a Gaussian
    // of the same number: the blur applied is a Gaussian of sigma blur / 2.
    double blur = 0;
    double dx = 0;
    double dy = 0;
};

// Draws what `draw` paints with a shadow beneath it, as drawing with a shadow set does: the
// drawing's coverage in the shadow's colour, blurred and offset, is laid on the device first
// and the drawing over it. `draw` is called twice, so it must only paint: once on a clip-free
// scratch layer (which reaches past the device, so parts drawn outside still cast their shadow
// into it) and once on the target painter itself. The target's clip applies to both. A shadow
// of alpha 0 draws the drawing alone.
void drawWithShadow(QPainter& target, const DropShadow& shadow, const std::function<void(QPainter&)>& draw);

} // namespace vi::raster
