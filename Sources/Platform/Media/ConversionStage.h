#pragma once

// Internal to the media layer: converts one decoded frame on a thread of its own while the
// reader decodes the next, so converting to BGRA overlaps decoding instead of adding to it.

#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/VideoTrackReader.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vi::media::detail {

class ConversionStage {
public:
    // `convert` turns a decoded frame into the picture to hand out; it runs on the stage's thread,
    // one frame at a time, and owns whatever it touches while it runs.
    explicit ConversionStage(std::function<PixelBuffer(AVFrame*)> convert);
    ~ConversionStage();
    ConversionStage(const ConversionStage&) = delete;
    ConversionStage& operator=(const ConversionStage&) = delete;

    bool busy() const { return busy_; }
    // Takes the frame's references (leaving it empty) and starts converting it. Not while busy.
    void submit(AVFrame* frame, MediaTime time);
    // Waits for the frame in flight; rethrows what its conversion threw.
    VideoFrame collect();
    // Waits for the frame in flight, if any, and drops it.
    void discard() noexcept;

private:
    void serve();

    std::function<PixelBuffer(AVFrame*)> convert_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Frame job_;
    MediaTime jobTime_;
    bool hasJob_ = false;
    bool hasResult_ = false;
    bool stopping_ = false;
    bool busy_ = false; // submitted and not yet collected; touched by the reader's thread only
    PixelBuffer result_;
    std::exception_ptr failure_;
};

} // namespace vi::media::detail
