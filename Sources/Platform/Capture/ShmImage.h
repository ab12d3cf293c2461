#pragma once

#include "Platform/Capture/Geometry.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

namespace vi::capture {

class XConnection;

// A block of shared memory the X server writes images into (MIT-SHM), so that a grab costs one
// server-side copy and no socket traffic. Pixels arrive as 32-bit B, G, R, X (or A) words.
class ShmImage {
public:
    // Room for an image of width x height. Throws CaptureError when MIT-SHM is unavailable.
    ShmImage(std::shared_ptr<XConnection> connection, int width, int height);
    ~ShmImage();
    ShmImage(const ShmImage&) = delete;
    ShmImage& operator=(const ShmImage&) = delete;

    // Reads `rect` of `drawable` (a window or pixmap) into the start of the buffer, with rows of
    // rect.width * 4 bytes. False when the server refuses (the window is gone or unmapped, the
    // rectangle lies outside it) or the rectangle is larger than the buffer.
    bool grab(xcb_drawable_t drawable, const PixelRect& rect);

    std::uint8_t* data() const { return data_; }
    int capacityWidth() const { return width_; }
    int capacityHeight() const { return height_; }
    // Depth of the last grabbed drawable: 32 means the fourth byte is alpha.
    int lastDepth() const { return lastDepth_; }

    static bool available(XConnection& connection);

private:
    std::shared_ptr<XConnection> connection_;
    int width_ = 0;
    int height_ = 0;
    int lastDepth_ = 24;
    std::uint8_t* data_ = nullptr;
    xcb_shm_seg_t segment_ = 0;
};

} // namespace vi::capture
