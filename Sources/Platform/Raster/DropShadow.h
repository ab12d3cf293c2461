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

// Draws what `draw` paints onto the painter's device with a shadow beneath it. `draw` gets a
// painter on a scratch layer with the same transform, clip-free, and paints as it would on
// the device; the layer's coverage, in the shadow's colour, blurred and offset, goes under the
// drawing. Parts drawn outside the device still cast their shadow into it. The target
// painter's clip applies to both. A shadow of alpha 0 draws the drawing alone.
void drawWithShadow(QPainter& target, const DropShadow& shadow, const std::function<void(QPainter&)>& draw);

} // namespace vi::raster
