#pragma once

#include "Platform/Capture/ScreenFrame.h"

#include <memory>
#include <mutex>
#include <vector>

namespace vi::capture {

class ShmImage;
class XConnection;

// A fixed number of shared-memory images of the capture size. The capture thread takes a free one,
// grabs into it and hands it out as a ScreenFrame; the holder's release returns it. When all are out,
// `acquire` gives nothing and the frame is skipped: the depth bounds the memory and the latency.
class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    static std::shared_ptr<FramePool> make(std::shared_ptr<XConnection> connection, int width, int height,
                                           int depth);
    ~FramePool();

    // A free image, or nullptr when every image is held by a consumer.
    ShmImage* acquire();
    // Wraps a filled image as a frame; the image returns to the pool when the frame is released.
    ScreenFramePtr publish(ShmImage* image, double time);
    // Returns an image taken by acquire() that will not be published.
    void giveBack(ShmImage* image);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    FramePool(int width, int height) : width_(width), height_(height) {}

    int width_;
    int height_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<ShmImage>> images_;
    std::vector<ShmImage*> free_;
};

} // namespace vi::capture
