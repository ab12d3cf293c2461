#pragma once

#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

namespace vi::raster {

// Mean premultiplied channels (0...255) over `area`; parts of the area outside the image
// count as transparent. An empty area gives all zeros.
struct MeanColor {
    double b = 0, g = 0, r = 0, a = 0;
};
MeanColor meanColor(const Image& image, const IntRect& area);

// Brightness of an area in 0...1: Rec. 709 luma (0.2126 R + 0.7152 G + 0.0722 B) of its mean
// colour, each channel first rounded to 8 bits as a one-pixel render of the average would be.
double meanLuma(const Image& image, const IntRect& area);

} // namespace vi::raster
