#pragma once

#include "Platform/Capture/Geometry.h"
#include "Platform/Capture/ScreenSource.h"

#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <string>

namespace vi::capture {

class DamageTracker;
class ExcludedWindows;
class ShmImage;
class XConnection;

// Reads pictures of one source with MIT-SHM: a rectangle of the root window, or the composite
// pixmap of one window (which keeps the window's picture also where others cover it). The size is
// fixed at creation, even in both dimensions. Used from one thread, the one that owns the connection.
class ScreenGrabber {
public:
    // Throws CaptureError when the source cannot be recorded (window gone, display empty, an X
    // extension missing).
    ScreenGrabber(std::shared_ptr<XConnection> connection, const ScreenSource& source);
    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber&) = delete;
    ScreenGrabber& operator=(const ScreenGrabber&) = delete;

    int width() const { return size_.width; }
    int height() const { return size_.height; }

    // Takes an event of the grabber's connection (changes, window structure).
    void handle(const xcb_generic_event_t* event);
    // Whether the picture may differ from the last grab; clears the record (see DamageTracker).
    bool takeChange();
    // Reads the current picture into `image`. False when the source cannot be read any more.
    bool grab(ShmImage& image);
    // Set once the source has gone (a window closed, hidden or resized): why the stream ends.
    const std::optional<std::string>& ended() const { return ended_; }

private:
    void nameWindowPixmap();

    std::shared_ptr<XConnection> connection_;
    ScreenSource source_;
    PixelRect size_;
    std::unique_ptr<DamageTracker> damage_;
    std::unique_ptr<ExcludedWindows> excluded_;
    std::uint32_t pixmap_ = 0;
    std::optional<std::string> ended_;
};

} // namespace vi::capture
