#pragma once

#include "Platform/Capture/ScreenFrame.h"
#include "Platform/Capture/ScreenSource.h"
#include "Platform/Capture/ScreenStream.h"
#include "RecordCore/LiveActivity.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vi {

class RecordingWriter;
namespace capture {
class AudioCapture;
}

// Records one display (without our own windows) or one window, with the system sound and the
// microphone, into one MP4 file whose time 0 is the first captured frame. Frames arrive on the
// capture thread and go to the encoder thread; sound joins the capture thread's order, so that
// sound from before the first frame is left out. The file is written in fragments of at most half a
// second, so a crash loses little, and is given a complete index at stop, so it opens and seeks like
// a plain MP4.
class ScreenRecorder {
public:
    using Source = capture::ScreenSource;

    struct Setup {
        Source source;
        bool systemAudio = true;
        bool microphone = false;
        std::optional<std::string> microphoneID; // none: the default microphone
        int fps = 60;
    };

    // Makes the capture of a source, which reports to the delegate it is given.
    using StreamFactory = std::function<std::unique_ptr<capture::ScreenStream>(const Source& source, int fps,
                                                                               capture::ScreenStream::Delegate delegate)>;

    // Captures the screen of $DISPLAY.
    ScreenRecorder();
    // Captures through streams of the caller's making (another display, or frames held back).
    explicit ScreenRecorder(StreamFactory makeStream);
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    // Prepares the capture and the writer and starts capturing. Throws RecordError::writeFailed when
    // the file cannot be written, and capture::CaptureError when the source cannot be captured.
    void start(const Setup& setup, const std::filesystem::path& file);
    // Stops capturing and finishes the file. Throws RecordError::writeFailed when no frame came or
    // the file cannot be finished. When the writer had failed during the recording (already reported
    // through onStop), what reached the disk is kept and stop() returns normally.
    void stop();

    // Host-clock seconds of the first frame; read after stop().
    std::optional<double> firstFrameTime() const { return firstFrameTime_; }
    LiveActivity& activity() { return activity_; }
    // Lines for the diagnostic log: the encoder chosen, frames dropped, sound that was missing.
    std::vector<std::string> diagnostics() const;

    // Called when the recording ends by itself (the window closed, the writer failed), with why; on a
    // capture thread, at most once.
    std::function<void(const std::string& error)> onStop;

    // The encoder's average bit rate for a capture of this size and rate.
    static std::int64_t bitRate(int width, int height, int fps);

private:
    void onFrame(const capture::ScreenFramePtr& frame);
    void onSound(int track, std::vector<std::int16_t> samples, double time);
    void reportStop(const std::string& error);
    void startSound(const Setup& setup);
    void note(std::string line);

    StreamFactory makeStream_;
    std::unique_ptr<capture::ScreenStream> stream_;
    std::unique_ptr<RecordingWriter> writer_;
    std::unique_ptr<capture::AudioCapture> systemSound_;
    std::unique_ptr<capture::AudioCapture> microphone_;
    int systemTrack_ = -1;
    int microphoneTrack_ = -1;
    bool started_ = false; // capture thread
    std::optional<double> firstFrameTime_;
    LiveActivity activity_;
    std::atomic<bool> stopReported_{false};
    mutable std::mutex diagnosticsMutex_;
    std::vector<std::string> diagnostics_;
};

} // namespace vi
