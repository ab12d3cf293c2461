#pragma once

#include "Platform/Capture/Geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vi::capture {

class XConnection;

// One monitor of the X screen: what a user picks to record "a display".
struct DisplayInfo {
    std::uint32_t id = 0; // the monitor's name atom: stable while the monitor exists
    std::string name;     // the output's name, e.g. "DP-1" or "screen"
    PixelRect frame;      // in root-window pixels
    bool primary = false;
};

// The monitors of the screen, primary first. A server without RandR 1.5 (or with no monitor
// configured) yields one display covering the whole root window, so there is always one.
std::vector<DisplayInfo> listDisplays(XConnection& connection);

} // namespace vi::capture
