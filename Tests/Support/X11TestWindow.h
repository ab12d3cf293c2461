#pragma once

#include "Platform/Capture/Geometry.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vi::test {

// A plain coloured window on the test X server, for capture tests: its colour, place, size,
// title, class and claimed process id are what a test sets. Colours are 0xRRGGBB.
class X11TestWindow {
public:
    struct Options {
        capture::PixelRect rect{100, 100, 320, 180};
        std::uint32_t colour = 0xff0000;
        std::string title = "Test window";
        std::string appClass = "TestApp";
        std::uint32_t pid = 0; // 0: leave _NET_WM_PID unset
        // Unmanaged (no window manager frame, no grabs of its own): for tests that click into it.
        bool overrideRedirect = false;
    };

    explicit X11TestWindow(const Options& options);
    ~X11TestWindow();
    X11TestWindow(const X11TestWindow&) = delete;
    X11TestWindow& operator=(const X11TestWindow&) = delete;

    xcb_window_t id() const { return window_; }
    // Paints the whole window, or a part of it (window coordinates).
    void fill(std::uint32_t colour);
    void fillRect(const capture::PixelRect& rect, std::uint32_t colour);
    void moveTo(int x, int y);
    void resize(int width, int height);
    void raise();
    void destroy();
    // Waits until the server has handled everything sent so far.
    void sync();

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    xcb_gcontext_t gc_ = 0;
};

// Polls `condition` every 10 ms until it holds or `timeout` passes; returns its last answer.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The pixel at (x, y) of a B, G, R, X frame as 0xRRGGBB.
std::uint32_t pixelAt(const std::uint8_t* pixels, int stride, int x, int y);

} // namespace vi::test
