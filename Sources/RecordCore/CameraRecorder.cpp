#include "RecordCore/CameraRecorder.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/V4l2Camera.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/MediaError.h"
#include "RecordCore/RecordError.h"

#include <unistd.h>

namespace vi {

namespace {

// A recording loses at most this much of the camera on a crash, like the screen recording.
constexpr double fragmentSeconds = 0.5;
// The screen recording asks for 60; a camera delivers 30 at most, usually.
constexpr double nominalCameraRate = 30;

// Packed 4:2:2 to planar 4:2:0: chroma of each pair of rows is averaged.
media::ImageView yuyvToYuv420(const capture::CameraFrame& frame, int width, int height, std::vector<std::uint8_t>& out) {
    const std::size_t lumaSize = static_cast<std::size_t>(width) * height;
    const std::size_t chromaSize = lumaSize / 4;
    out.resize(lumaSize + 2 * chromaSize);
    std::uint8_t* y = out.data();
    std::uint8_t* u = y + lumaSize;
    std::uint8_t* v = u + chromaSize;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* source = frame.planes[0] + static_cast<std::ptrdiff_t>(row) * frame.strides[0];
        for (int column = 0; column < width; ++column) y[static_cast<std::size_t>(row) * width + column] = source[column * 2];
        if (row % 2 == 0) {
            const std::uint8_t* below = source + frame.strides[0];
            for (int pair = 0; pair < width / 2; ++pair) {
                const std::size_t at = static_cast<std::size_t>(row / 2) * (width / 2) + pair;
                u[at] = static_cast<std::uint8_t>((source[pair * 4 + 1] + below[pair * 4 + 1] + 1) / 2);
                v[at] = static_cast<std::uint8_t>((source[pair * 4 + 3] + below[pair * 4 + 3] + 1) / 2);
            }
        }
    }
    media::ImageView view;
    view.format = media::PixelFormat::yuv420p;
    view.width = width;
    view.height = height;
    view.data = {y, u, v};
    view.stride = {width, width / 2, width / 2};
    return view;
}

} // namespace

CameraRecorder::CameraRecorder()
    : CameraRecorder([]() -> std::unique_ptr<capture::CameraSource> { return capture::V4l2Camera::openDefault(); }) {}

CameraRecorder::CameraRecorder(CameraFactory camera) : factory_(std::move(camera)) {}

CameraRecorder::~CameraRecorder() { stop(); }

bool CameraRecorder::requestAccess() {
    for (const auto& device : capture::V4l2Camera::list()) {
        if (access(device.path.c_str(), R_OK | W_OK) == 0) return true;
    }
    return false;
}

void CameraRecorder::start(const std::filesystem::path& file) {
    camera_ = factory_ ? factory_() : nullptr;
    if (!camera_) throw RecordError::writeFailed("no camera");
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    file_ = file;
    try {
        camera_->start({[this](const capture::CameraFrame& frame) { onFrame(frame); },
                        [this](const std::string& reason) { diagnostics_.push_back("Camera: " + reason); }});
    } catch (const capture::CaptureError& error) {
        camera_.reset();
        const std::string what = error.what();
        if (what == "camera busy" || what == "camera output") throw RecordError::writeFailed(what);
        throw;
    }
}

void CameraRecorder::openWriter(int width, int height) {
    if (file_.empty() || failed_) return;
    try {
        auto writer = std::make_unique<media::AssetWriter>(file_, media::WriterOptions{true, fragmentSeconds});
        media::VideoTrackSettings video;
        video.codec = media::VideoCodec::h264;
        video.width = width;
        video.height = height;
        video.averageBitRate = bitRate;
        video.expectedFrameRate = nominalCameraRate;
        writer->addVideoTrack(video);
        writer->start();
        writer_ = std::move(writer);
    } catch (const media::MediaError& error) {
        failed_ = true;
        diagnostics_.push_back("Camera not recorded: " + error.message());
    }
}

void CameraRecorder::onFrame(const capture::CameraFrame& frame) {
    if (failed_) return;
    const int width = frame.width & ~1;
    const int height = frame.height & ~1;
    if (!writer_) {
        if (width <= 0 || height <= 0 || !frame.planes[0]) return;
        openWriter(width, height);
        if (!writer_) return;
        try {
            writer_->startSession(media::MediaTime::fromSeconds(frame.time));
        } catch (const media::MediaError& error) {
            failed_ = true;
            diagnostics_.push_back("Camera not recorded: " + error.message());
            return;
        }
        firstFrameTime_ = frame.time;
    }
    if (writer_->status() != media::AssetWriter::Status::writing) return;
    media::ImageView view;
    if (frame.format == capture::CameraFrame::Format::nv12) {
        view.format = media::PixelFormat::nv12;
        view.width = width;
        view.height = height;
        view.data = {frame.planes[0], frame.planes[1], nullptr};
        view.stride = {frame.strides[0], frame.strides[1], 0};
    } else {
        view = yuyvToYuv420(frame, width, height, converted_);
    }
    try {
        writer_->appendVideo(0, view, media::MediaTime::fromSeconds(frame.time));
    } catch (const media::MediaError& error) {
        // The writer is failed now; stop() cancels it.
        diagnostics_.push_back("Camera: " + error.message());
    }
}

void CameraRecorder::stop() {
    if (camera_) camera_->stop();
    camera_.reset();
    if (!writer_) return;
    auto writer = std::move(writer_);
    if (writer->status() != media::AssetWriter::Status::writing) {
        writer->cancel();
        firstFrameTime_.reset();
        return;
    }
    try {
        writer->finish();
    } catch (const media::MediaError& error) {
        // A file that could not be finished is not a camera recording: say so and leave none.
        diagnostics_.push_back("Camera recording could not be finished: " + error.message());
        writer->cancel();
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
        firstFrameTime_.reset();
    }
}

} // namespace vi
