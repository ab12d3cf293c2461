#pragma once

#include "Platform/Raster/Image.h"

#include <functional>

namespace vi::raster::test {

// A raster whose pixels come from `pixelAt(x, y)` in local coordinates.
inline Image makeImage(int width, int height, const std::function<Pixel(int, int)>& pixelAt, IntPoint origin = {}) {
    Bitmap bitmap(width, height, origin);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bitmap.at(x, y) = pixelAt(x, y);
        }
    }
    return std::move(bitmap).freeze();
}

inline Pixel opaque(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {b, g, r, 255}; }

} // namespace vi::raster::test
