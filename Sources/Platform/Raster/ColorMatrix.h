#pragma once

#include "Platform/Raster/Image.h"

#include <array>

namespace vi::raster {

// Scales every premultiplied channel by `opacity` (0...1): the same picture, more transparent.
// An opacity of 1 or more gives the image itself without copying.
Image fade(const Image& image, double opacity);

// A colour matrix on straight (unpremultiplied) colour in 0...1: each output channel is the
// dot product of its row with (r, g, b, a) plus its bias; the result is clamped to 0...1 and
// premultiplied again.
struct ColorMatrix {
    std::array<double, 4> red{1, 0, 0, 0};
    std::array<double, 4> green{0, 1, 0, 0};
    std::array<double, 4> blue{0, 0, 1, 0};
    std::array<double, 4> alpha{0, 0, 0, 1};
    std::array<double, 4> bias{0, 0, 0, 0}; // r, g, b, a
};

Image applyColorMatrix(const Image& image, const ColorMatrix& matrix);

} // namespace vi::raster
