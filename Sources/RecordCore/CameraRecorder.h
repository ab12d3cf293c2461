#pragma once

#include "Platform/Capture/CameraSource.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vi {

namespace media {
class AssetWriter;
}

// Records the camera into "camera.mp4" (H.264, 3 Mbit/s, the first frame's size made even) and tells
// at which host-clock second its first frame was taken. The writer opens at the first frame, on the
// camera's thread, where every frame is handled; stop() ends the camera's thread before it touches
// the writer.
class CameraRecorder {
public:
    using CameraFactory = std::function<std::unique_ptr<capture::CameraSource>()>;

    // The default camera of the computer (none when it has none).
    CameraRecorder();
    // A camera of the caller's choosing; a factory that returns nullptr means "no camera".
    explicit CameraRecorder(CameraFactory camera);
    ~CameraRecorder();
    CameraRecorder(const CameraRecorder&) = delete;
    CameraRecorder& operator=(const CameraRecorder&) = delete;

    // Whether the camera may be used: a video device exists that this user may open.
    static bool requestAccess();

    // Starts the camera. Throws RecordError::writeFailed with "no camera", "camera busy" or "camera
    // output", and capture::CaptureError with the system's words for anything else.
    void start(const std::filesystem::path& file);
    // Stops the camera and closes the file. Never throws. A file that cannot be finished is removed
    // and firstFrameTime() is left empty.
    void stop();

    std::optional<double> firstFrameTime() const { return firstFrameTime_; }
    std::vector<std::string> diagnostics() const { return diagnostics_; }

    static constexpr std::int64_t bitRate = 3'000'000;

private:
    void onFrame(const capture::CameraFrame& frame);
    void openWriter(int width, int height);

    CameraFactory factory_;
    std::unique_ptr<capture::CameraSource> camera_;
    std::filesystem::path file_;
    // Camera thread until stop() has stopped the camera.
    std::unique_ptr<media::AssetWriter> writer_;
    bool failed_ = false;
    std::optional<double> firstFrameTime_;
    std::vector<std::uint8_t> converted_;
    std::vector<std::string> diagnostics_;
};

} // namespace vi
