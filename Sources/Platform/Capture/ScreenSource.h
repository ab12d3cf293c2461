#pragma once

#include "Platform/Capture/Geometry.h"

#include <cstdint>
#include <vector>

namespace vi::capture {

// What a screen stream records: a rectangle of the screen (a display), without the windows of the
// listed processes or window ids, or one window by itself (also while it is covered).
struct ScreenSource {
    enum class Kind { display, window };

    Kind kind = Kind::display;
    PixelRect displayFrame;                     // display: the monitor's rectangle
    std::vector<std::uint32_t> excludedPids;    // display: processes whose windows are left out
    std::vector<std::uint32_t> excludedWindows; // display: window ids left out
    std::uint32_t window = 0;                   // window: the client window

    static ScreenSource display(const PixelRect& frame, std::vector<std::uint32_t> excludingPids = {}) {
        ScreenSource source;
        source.displayFrame = frame;
        source.excludedPids = std::move(excludingPids);
        return source;
    }
    static ScreenSource ofWindow(std::uint32_t id) {
        ScreenSource source;
        source.kind = Kind::window;
        source.window = id;
        return source;
    }
};

// Video encoders want even sizes: the lowest bit of each dimension is cleared.
inline int evenDown(int value) { return value & ~1; }

} // namespace vi::capture
