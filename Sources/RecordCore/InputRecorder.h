#pragma once

#include "Platform/Capture/Geometry.h"
#include "RecordCore/InputLog.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vi {

namespace capture {
class InputMonitor;
class PointerTracker;
class XConnection;
}

// Logs, beside a screen recording, where the pointer is 60 times a second and when the user
// clicks, right-clicks, presses a key or scrolls, normalised to the recorded display or window
// (origin top-left). Sampling runs on a thread of its own on an absolute schedule ("vi.input.ptr"),
// events arrive on the input monitor's thread; both append under one lock.
class InputRecorder {
public:
    struct Region {
        enum class Kind { display, window };
        Kind kind = Kind::display;
        std::uint32_t id = 0; // a display's id (from listDisplays) or a window's id

        static Region display(std::uint32_t id) { return {Kind::display, id}; }
        static Region window(std::uint32_t id) { return {Kind::window, id}; }
    };

    explicit InputRecorder(Region region);
    ~InputRecorder();
    InputRecorder(const InputRecorder&) = delete;
    InputRecorder& operator=(const InputRecorder&) = delete;

    void start();
    // Stops and returns the log with times relative to `origin` (host-clock seconds); entries before
    // it are dropped.
    InputLog stop(double origin);

    // Whether key presses of other applications can be seen (XInput 2.2 on an X server).
    static bool seesKeys();
    // Nothing to ask for on X11.
    static void requestKeys() {}

    // Normalisation of a root-window point to the region (0..1 inside, origin top-left).
    struct Point {
        double x = 0;
        double y = 0;
    };
    static Point normalized(double x, double y, const capture::PixelRect& area);

    static constexpr int samplesPerSecond = 60;
    // Window bounds are read again every sixth sample (every 0.1 s), never per sample.
    static constexpr int boundsRefreshTicks = 6;
    // At most ten scroll events a second are logged.
    static constexpr double scrollInterval = 0.1;

private:
    void sample();
    void onEvent(int kind, double time);
    Point pointerNow(capture::PointerTracker& pointer);
    capture::PixelRect area();

    Region region_;
    std::unique_ptr<capture::XConnection> connection_; // the sampling thread's
    std::unique_ptr<capture::PointerTracker> samplerPointer_;
    std::unique_ptr<capture::PointerTracker> eventPointer_;
    std::unique_ptr<capture::InputMonitor> monitor_;
    std::thread sampler_;
    std::atomic<bool> stopping_{false};
    int ticks_ = 0; // sampling thread only

    mutable std::mutex mutex_;
    capture::PixelRect area_; // display frame, or the window's last known bounds (empty: unknown)
    std::vector<InputLog::CursorSample> cursor_;
    std::vector<InputLog::Event> events_;
    double lastScroll_ = 0;
    bool seesKeys_ = false;
};

} // namespace vi
