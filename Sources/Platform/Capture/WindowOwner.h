#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

namespace vi::capture {

class XConnection;

// Whether `window` belongs to one of `pids`: its own _NET_WM_PID, that of a window above it up to the
// top level, or, for a window manager's frame, that of the client inside it.
bool windowBelongsTo(XConnection& connection, xcb_window_t window, const std::vector<std::uint32_t>& pids);

} // namespace vi::capture
