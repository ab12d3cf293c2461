#pragma once

#include "Platform/Capture/Geometry.h"

#include <xcb/xproto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vi::capture {

class XConnection;

// One application window that can be recorded by itself.
struct WindowInfo {
    std::uint32_t id = 0;   // the client window (not the window manager's frame)
    std::string title;      // _NET_WM_NAME, else WM_NAME
    std::string appName;    // the class part of WM_CLASS, else its instance part
    std::uint32_t pid = 0;  // _NET_WM_PID; 0 when the client does not say
    PixelRect bounds;       // the client area in root-window pixels
    bool onScreen = false;  // mapped and viewable
};

// The client windows, bottom to top. With a window manager that keeps the EWMH client list it is
// that list (stacking order when offered); without one, the mapped children of the root window.
std::vector<WindowInfo> listWindows(XConnection& connection);

// Facts about one window, read fresh. nullopt when the window no longer exists.
std::optional<WindowInfo> describeWindow(XConnection& connection, xcb_window_t window);

// The client area of a window in root-window pixels; nullopt when it no longer exists.
std::optional<PixelRect> windowBounds(XConnection& connection, xcb_window_t window);

// The child of the root window that holds `window` (the window manager's frame around a client,
// or the window itself when it is top-level). XCB_WINDOW_NONE when it no longer exists.
xcb_window_t topLevelOf(XConnection& connection, xcb_window_t window);

} // namespace vi::capture
