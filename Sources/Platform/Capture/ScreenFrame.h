#pragma once

#include <cstdint>
#include <memory>

namespace vi::capture {

// One captured picture: 32-bit pixels in memory order B, G, R, X (the fourth byte means nothing),
// top row first. `time` is the host-clock second at which the picture was read.
struct ScreenFrame {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row
    double time = 0;
};

// A frame lives in a buffer of the capture's small pool; the buffer goes back to the pool when
// the last holder lets go of the pointer, so a consumer that keeps frames slows capture down
// instead of growing memory.
using ScreenFramePtr = std::shared_ptr<const ScreenFrame>;

} // namespace vi::capture
