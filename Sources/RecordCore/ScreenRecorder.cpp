#include "RecordCore/ScreenRecorder.h"

#include "Platform/Capture/AudioCapture.h"
#include "Platform/Capture/AudioDevices.h"
#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/ScreenStream.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/MediaError.h"
#include "RecordCore/RecordError.h"
#include "RecordCore/RecordingWriter.h"

#include <algorithm>
#include <cmath>

namespace vi {

namespace {

// H.264 in software: the fastest preset that still uses the screen's stillness well. Hardware HEVC
// is not used: the media layer encodes in software only.
constexpr const char* videoPreset = "ultrafast";
// H.264 needs about twice HEVC's rate for the same sharpness of small text. The floor keeps 1080p60
// text crisp while it scrolls: 14 px code text scrolled 4 to 31 px a frame, encoded with these
// settings and compared frame by frame, keeps SSIM (luma) 0.998 to 0.9998 and PSNR 45 to 55 dB on
// average, and 0.985 / 38 dB in its worst frame (while the rate control settles in the first few
// frames); at half the rate that frame falls to 0.969 / 34 dB.
constexpr std::int64_t minimumBitRate = 12'000'000;
constexpr double bitsPerPixelAndFrame = 0.044;
// Fragments cut by duration (also while a still screen writes no frames): a killed recording loses
// at most this much.
constexpr double fragmentSeconds = 0.5;
constexpr double sampleRate = capture::AudioCapture::sampleRate;
constexpr int channels = capture::AudioCapture::channels;

std::vector<std::int16_t> toSixteenBit(const capture::AudioChunk& chunk) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(chunk.frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float value = std::clamp(chunk.samples[i], -1.0f, 1.0f);
        samples[i] = static_cast<std::int16_t>(std::lrint(value * 32767.0f));
    }
    return samples;
}

} // namespace

ScreenRecorder::ScreenRecorder()
    : ScreenRecorder([](const Source& source, int fps, capture::ScreenStream::Delegate delegate) {
          return std::make_unique<capture::ScreenStream>(source, fps, std::move(delegate));
      }) {}

ScreenRecorder::ScreenRecorder(StreamFactory makeStream) : makeStream_(std::move(makeStream)) {}

ScreenRecorder::~ScreenRecorder() {
    if (stream_ || writer_) {
        try {
            stop();
        } catch (...) {
            // The owner did not stop: what reached the disk stays, nothing more can be reported.
        }
    }
}

std::int64_t ScreenRecorder::bitRate(int width, int height, int fps) {
    const std::int64_t pixelsPerSecond = std::int64_t{width} * height * fps;
    return std::max(minimumBitRate, static_cast<std::int64_t>(static_cast<double>(pixelsPerSecond) * bitsPerPixelAndFrame));
}

void ScreenRecorder::start(const Setup& setup, const std::filesystem::path& file) {
    if (setup.fps <= 0) throw RecordError::writeFailed("start");
    capture::ScreenStream::Delegate delegate{[this](capture::ScreenFramePtr frame) { onFrame(frame); },
                                             [this](const std::string& reason) { reportStop(reason); }};
    auto stream = makeStream_(setup.source, setup.fps, std::move(delegate));
    if (!stream) throw capture::CaptureError("the screen cannot be captured");

    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    media::VideoTrackSettings video;
    video.codec = media::VideoCodec::h264;
    video.width = stream->width();
    video.height = stream->height();
    video.averageBitRate = bitRate(video.width, video.height, setup.fps);
    video.expectedFrameRate = setup.fps;
    video.maxKeyFrameInterval = setup.fps; // one second: bounds seeks and what a crash can cost
    video.preset = videoPreset;
    std::unique_ptr<RecordingWriter> writer;
    try {
        auto assetWriter = std::make_unique<media::AssetWriter>(file, media::WriterOptions{true, fragmentSeconds});
        assetWriter->addVideoTrack(video);
        if (setup.systemAudio) systemTrack_ = assetWriter->addAudioTrack();
        if (setup.microphone) microphoneTrack_ = assetWriter->addAudioTrack();
        writer = std::make_unique<RecordingWriter>(std::move(assetWriter), [this](const std::string& error) {
            reportStop("Could not write the video: " + error);
        });
    } catch (const media::MediaError& error) {
        systemTrack_ = microphoneTrack_ = -1;
        throw RecordError::writeFailed(error.reason().empty() ? std::string("start") : error.reason());
    }
    note("Screen recording: H.264 (libx264 " + std::string(videoPreset) + ") " +
                           std::to_string(video.width) + "x" + std::to_string(video.height) + " at " +
                           std::to_string(setup.fps) + " fps, " + std::to_string(video.averageBitRate) + " bit/s");
    writer_ = std::move(writer);
    stream_ = std::move(stream);
    startSound(setup);
    stream_->start();
}

void ScreenRecorder::startSound(const Setup& setup) {
    auto open = [&](const std::string& source, int track, const char* what) -> std::unique_ptr<capture::AudioCapture> {
        capture::AudioCapture::Delegate delegate{
            [this, track](const capture::AudioChunk& chunk) {
                auto samples = toSixteenBit(chunk);
                const double time = chunk.time;
                stream_->post([this, track, time, samples = std::move(samples)]() mutable {
                    onSound(track, std::move(samples), time);
                });
            },
            [this, what](const std::string& reason) { note(std::string(what) + ": " + reason); }};
        try {
            auto capture = std::make_unique<capture::AudioCapture>(source, std::move(delegate));
            capture->start();
            return capture;
        } catch (const capture::CaptureError& error) {
            // The track stays and is filled with silence at stop: a missing input never breaks the file.
            note(std::string(what) + " not recorded: " + error.what());
            return nullptr;
        }
    };
    if (systemTrack_ >= 0) systemSound_ = open(capture::systemSoundSource, systemTrack_, "System sound");
    if (microphoneTrack_ >= 0) microphone_ = open(setup.microphoneID.value_or(""), microphoneTrack_, "Microphone");
}

void ScreenRecorder::onFrame(const capture::ScreenFramePtr& frame) {
    if (!writer_) return;
    if (!started_) {
        started_ = true;
        firstFrameTime_ = frame->time;
        writer_->startSession(frame->time);
    }
    // The frame's buffer goes to the writing thread, which converts it straight into the encoder's
    // picture: the capture thread only reads the screen and keeps its schedule.
    writer_->appendVideo(0, frame);
    activity_.add(PixelView{frame->pixels, frame->width, frame->height, frame->stride, false},
                  frame->time - *firstFrameTime_);
}

void ScreenRecorder::onSound(int track, std::vector<std::int16_t> samples, double time) {
    // Sound from before the first frame has no place in the file.
    if (!started_ || !writer_) return;
    writer_->appendAudio(track, std::move(samples), time);
}

void ScreenRecorder::note(std::string line) {
    std::lock_guard lock(diagnosticsMutex_);
    diagnostics_.push_back(std::move(line));
}

std::vector<std::string> ScreenRecorder::diagnostics() const {
    std::lock_guard lock(diagnosticsMutex_);
    return diagnostics_;
}

void ScreenRecorder::reportStop(const std::string& error) {
    if (stopReported_.exchange(true)) return;
    if (onStop) onStop(error);
}

void ScreenRecorder::stop() {
    const double end = capture::HostClock::now();
    // Sound first, so that nothing more is posted; then the capture thread, which runs what was.
    if (systemSound_) systemSound_->stop();
    if (microphone_) microphone_->stop();
    if (stream_) stream_->stop();
    auto stream = std::move(stream_);
    if (!writer_) return;
    auto writer = std::move(writer_);
    writer->drain();
    if (stream) {
        const auto statistics = stream->statistics();
        note("Screen recording: " + std::to_string(statistics.frames) + " frames, " +
                               std::to_string(statistics.lateTicks) + " late ticks, " +
                               std::to_string(writer->droppedFrames()) + " frames dropped by the encoder");
    }
    if (!started_) {
        writer->writer().cancel();
        throw RecordError::writeFailed("no frames were captured");
    }
    if (writer->failure()) {
        // Already reported through onStop; the fragments on disk are the recording.
        note("Screen recording kept as written: " + *writer->failure());
        return;
    }
    const auto sessionEnd = media::MediaTime::fromSeconds(end);
    try {
        // A track that never heard anything (a missing microphone) still lasts the whole recording.
        for (int track : {systemTrack_, microphoneTrack_}) {
            if (track >= 0 && writer->audioSeconds(track) == 0) {
                const auto frames = static_cast<std::size_t>(std::max(0.0, end - *firstFrameTime_) * sampleRate);
                std::vector<std::int16_t> silence(frames * channels, 0);
                writer->writer().appendAudio(track, silence, media::MediaTime::fromSeconds(*firstFrameTime_));
            }
        }
        writer->writer().finish(sessionEnd);
    } catch (const media::MediaError& error) {
        throw RecordError::writeFailed(error.reason().empty() ? std::string("finish") : error.reason());
    }
}

} // namespace vi
