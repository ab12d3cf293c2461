#pragma once

#include "Platform/Capture/ScreenFrame.h"
#include "Platform/Media/AssetWriter.h"

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
    // Starts `writer` (tracks added, not started) on the writing thread, which runs at a lower priority
    // than the capture thread. Throws what the writer's start() throws.
    RecordingWriter(std::unique_ptr<media::AssetWriter> writer, std::function<void(const std::string&)> onFailure);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // All on one producer thread, after the writer has started.
    void startSession(double hostTime);
    // A captured frame, written at its capture time; its buffer is held until it has been encoded.
    // False when the frame was dropped because the writer is behind.
    bool appendVideo(int track, capture::ScreenFramePtr frame);
    void appendAudio(int track, std::vector<std::int16_t> samples, double hostTime);

    // Waits until everything queued is written, then ends the thread.
    void drain();
    // Whether the writer failed, and why.
    std::optional<std::string> failure() const;
    // Seconds of sound given to each track (after drain).
    double audioSeconds(int track) const;
    std::int64_t droppedFrames() const;

    media::AssetWriter& writer() { return *writer_; }

    // Frames waiting for the encoder at most: rides out an encoder hiccup of a few frames while
    // leaving the capture's pool of screen buffers one to grab into.
    static constexpr int maxQueuedFrames = 4;

private:
    struct Item {
        enum class Kind { session, video, audio } kind;
        int track = 0;
        double time = 0;
        capture::ScreenFramePtr frame;
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
