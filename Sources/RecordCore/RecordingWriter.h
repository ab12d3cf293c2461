#pragma once

#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/PixelBuffer.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vi {

// Feeds one AssetWriter from a thread of its own ("vi.capture.enc"), so that converting and
// encoding never hold up the capture thread's schedule. Samples are queued in the order they are
// given; frames beyond a small backlog are dropped (the writer is "not ready"), sound never is.
// A writer that fails is reported at once through `onFailure`; later samples are ignored.
class RecordingWriter {
public:
    RecordingWriter(std::unique_ptr<media::AssetWriter> writer, std::function<void(const std::string&)> onFailure);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // All on one producer thread, after the writer has started.
    void startSession(double hostTime);
    // Whether a frame given now would be dropped because the writer is behind (counted as dropped).
    bool behind();
    // False when the frame was dropped because the writer is behind.
    bool appendVideo(int track, media::PixelBuffer frame, double hostTime);
    void appendAudio(int track, std::vector<std::int16_t> samples, double hostTime);

    // Waits until everything queued is written, then ends the thread.
    void drain();
    // Whether the writer failed, and why.
    std::optional<std::string> failure() const;
    // Seconds of sound given to each track (after drain).
    double audioSeconds(int track) const;
    std::int64_t droppedFrames() const;

    media::AssetWriter& writer() { return *writer_; }

    // Frames waiting for the encoder at most: a quarter second at 60 fps rides out an encoder hiccup
    // without holding more than a few screen buffers.
    static constexpr int maxQueuedFrames = 4;

private:
    struct Item {
        enum class Kind { session, video, audio } kind;
        int track = 0;
        double time = 0;
        media::PixelBuffer frame;
        std::vector<std::int16_t> samples;
    };

    void run();
    void write(Item& item);

    std::unique_ptr<media::AssetWriter> writer_;
    std::function<void(const std::string&)> onFailure_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> items_;
    int queuedFrames_ = 0;
    bool draining_ = false;
    std::optional<std::string> failure_;
    std::vector<double> audioSeconds_;
    std::int64_t droppedFrames_ = 0;
    std::thread thread_;
};

} // namespace vi
