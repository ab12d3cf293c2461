#pragma once

#include "Platform/Capture/ScreenFrame.h"
#include "Platform/Capture/ScreenSource.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vi::capture {

class FramePool;
class ScreenGrabber;
class XConnection;

// The capture thread ("vi.capture") of one recording: on an absolute 1/fps schedule it asks whether
// the source changed and, when it did, grabs a frame and hands it to `onFrame`. A still screen
// delivers nothing. The thread also runs work posted to it (the sound of the same recording), so a
// consumer sees every kind of sample on one thread, in order, without locks.
class ScreenStream {
public:
    struct Delegate {
        // A complete, changed frame; on the capture thread.
        std::function<void(ScreenFramePtr)> onFrame;
        // The stream stopped by itself (window closed or resized, X server gone); on the capture thread,
        // at most once. Frames stop; posted work still runs until stop().
        std::function<void(const std::string& reason)> onStop;
    };

    struct Statistics {
        std::int64_t frames = 0;        // delivered frames
        std::int64_t idleTicks = 0;     // ticks on which nothing had changed
        std::int64_t lateTicks = 0;     // ticks skipped because the previous one overran
        std::int64_t poolExhausted = 0; // ticks on which every buffer was still held by the consumer
    };

    // Frames in flight: enough to ride out a slow encoder for a tenth of a second at 60 fps.
    static constexpr int defaultQueueDepth = 6;

    // Opens its own X connection (nullptr: $DISPLAY) and prepares the source. Throws CaptureError.
    ScreenStream(const ScreenSource& source, int fps, Delegate delegate, int queueDepth = defaultQueueDepth,
                 const char* display = nullptr);
    ~ScreenStream();
    ScreenStream(const ScreenStream&) = delete;
    ScreenStream& operator=(const ScreenStream&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    void start();
    // Stops capture, runs the work already posted, and joins the thread. After it returns no
    // callback runs. Idempotent.
    void stop();
    // Runs `work` on the capture thread after what was posted before (dropped after stop()).
    void post(std::function<void()> work);

    // Read after stop().
    Statistics statistics() const { return statistics_; }

private:
    void warmPool();
    void run();
    void tick(bool first);
    void end(const std::string& reason);
    bool runPosted(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<XConnection> connection_;
    std::unique_ptr<ScreenGrabber> grabber_;
    std::shared_ptr<FramePool> pool_;
    int fps_;
    int width_ = 0;
    int height_ = 0;
    Delegate delegate_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    bool stopping_ = false;
    bool accepting_ = true;
    std::thread thread_;

    // Capture thread only.
    bool ended_ = false;
    bool pendingChange_ = false;
    Statistics statistics_;
};

} // namespace vi::capture
