#pragma once

#include <cstddef>
#include <cstdint>

namespace vi {

// A read-only look at one frame's pixels, valid while the frame it comes from is held. Either
// packed 32-bit BGRA, or planar YUV of which only plane 0 (luma) is described here.
struct PixelView {
    const std::uint8_t* base = nullptr; // first byte of row 0 (of plane 0 when planar)
    int width = 0;                      // pixels
    int height = 0;                     // pixels (of plane 0 when planar)
    std::ptrdiff_t bytesPerRow = 0;     // of plane 0 when planar
    bool planar = false;

    bool hasPixels() const { return base != nullptr && width > 0 && height > 0; }
};

} // namespace vi
