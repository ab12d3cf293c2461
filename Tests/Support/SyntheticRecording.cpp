#include "Support/SyntheticRecording.h"

#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/AudioFormat.h"
#include "Support/FrameBarcode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vi::test {

namespace {

struct Bgr {
    uint8_t b, g, r;
};

constexpr Bgr kDesktop{46, 40, 36};
constexpr Bgr kWindow{232, 228, 224};
constexpr Bgr kSquare{20, 120, 240};
constexpr Bgr kWall{170, 160, 150};
constexpr Bgr kFace{120, 160, 220};
// The square crosses this share of the picture's width each second once it moves.
constexpr double kSquareSpeed = 0.4;
// The camera's disc sways this many times a second.
constexpr double kSwayRate = 0.5;

void fillRect(const media::PixelBuffer& picture, int left, int top, int width, int height, Bgr colour)
{
    const int right = std::min(picture.width(), left + width);
    const int bottom = std::min(picture.height(), top + height);
    for (int y = std::max(0, top); y < bottom; ++y) {
        uint8_t* row = picture.data(0) + static_cast<ptrdiff_t>(y) * picture.stride(0);
        for (int x = std::max(0, left); x < right; ++x) {
            row[4 * x] = colour.b;
            row[4 * x + 1] = colour.g;
            row[4 * x + 2] = colour.r;
            row[4 * x + 3] = 255;
        }
    }
}

void drawBackground(const media::PixelBuffer& picture)
{
    const int w = picture.width(), h = picture.height();
    fillRect(picture, 0, 0, w, h, kDesktop);
    fillRect(picture, w * 45 / 100, h * 15 / 100, w * 50 / 100, h * 70 / 100, kWindow);
}

int squareSide(const RecordingSpec& spec) { return std::max(2, spec.height / 6); }

void drawMoving(const media::PixelBuffer& picture, const RecordingSpec& spec, int index, double t)
{
    const int side = squareSide(spec);
    fillRect(picture, squareLeft(spec, t), spec.height * 55 / 100, side, side, kSquare);
    FrameBarcode::draw(picture, index);
}

void copyPicture(const media::PixelBuffer& from, const media::PixelBuffer& to)
{
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(to.data(0) + static_cast<ptrdiff_t>(y) * to.stride(0),
                    from.data(0) + static_cast<ptrdiff_t>(y) * from.stride(0), static_cast<size_t>(from.width()) * 4);
}

std::vector<double> frameTimesOf(const RecordingSpec& spec)
{
    if (!spec.frameTimes.empty())
        return spec.frameTimes;
    std::vector<double> times;
    // A frame for every whole frame period that starts inside the duration.
    const auto count = static_cast<int>(std::ceil(spec.duration * spec.fps - 1e-9));
    for (int i = 0; i < count; ++i)
        times.push_back(i / spec.fps);
    return times;
}

// Writes every sound track up to `untilFrame` (48 kHz frames from the session start).
class SoundFeeder {
public:
    SoundFeeder(media::AssetWriter& writer, std::vector<SoundSpec> sounds, std::vector<int> tracks,
                media::MediaTime origin)
        : writer_(writer), sounds_(std::move(sounds)), tracks_(std::move(tracks)), origin_(origin)
    {
    }

    void feedUntil(int64_t untilFrame)
    {
        constexpr int64_t kChunk = 1024;
        while (written_ < untilFrame) {
            const int64_t frames = std::min(kChunk, untilFrame - written_);
            buffer_.resize(static_cast<size_t>(frames) * media::kAudioChannels);
            for (size_t k = 0; k < sounds_.size(); ++k) {
                synthesize(sounds_[k], written_, buffer_);
                writer_.appendAudio(tracks_[k], buffer_,
                                    origin_ + media::MediaTime{written_, media::kAudioSampleRate});
            }
            written_ += frames;
        }
    }

private:
    media::AssetWriter& writer_;
    std::vector<SoundSpec> sounds_;
    std::vector<int> tracks_;
    media::MediaTime origin_;
    std::vector<int16_t> buffer_;
    int64_t written_ = 0;
};

template <typename DrawFrame>
SyntheticRecording writeVideo(const std::filesystem::path& path, const RecordingSpec& spec, DrawFrame drawFrame)
{
    media::AssetWriter writer(path, media::WriterOptions{spec.fragmented});
    media::VideoTrackSettings video;
    video.codec = spec.codec;
    video.width = spec.width;
    video.height = spec.height;
    video.averageBitRate = spec.bitRate;
    video.expectedFrameRate = spec.fps;
    video.maxKeyFrameInterval = static_cast<int>(std::lround(spec.keyFrameInterval * spec.fps));
    video.rotation = spec.rotation;
    const int videoTrack = writer.addVideoTrack(video);
    std::vector<int> soundTracks;
    for (size_t k = 0; k < spec.sounds.size(); ++k)
        soundTracks.push_back(writer.addAudioTrack());
    writer.start();
    const auto origin = media::MediaTime::fromSeconds(spec.sessionStart);
    writer.startSession(origin);

    SoundFeeder sound(writer, spec.sounds, soundTracks, origin);
    SyntheticRecording made{path, frameTimesOf(spec)};
    media::PixelBufferPool& pool = writer.pixelBufferPool(videoTrack);
    for (size_t i = 0; i < made.frameTimes.size(); ++i) {
        const double t = made.frameTimes[i];
        media::PixelBuffer picture = pool.acquire();
        drawFrame(picture, static_cast<int>(i), t);
        writer.appendVideo(videoTrack, picture, origin + media::MediaTime::fromSeconds(t));
        const double soundUntil = i + 1 < made.frameTimes.size() ? made.frameTimes[i + 1] : spec.duration;
        sound.feedUntil(std::llround(std::min(soundUntil, spec.duration) * media::kAudioSampleRate));
    }
    sound.feedUntil(std::llround(spec.duration * media::kAudioSampleRate));
    writer.finish(origin + media::MediaTime::fromSeconds(spec.duration));
    return made;
}

} // namespace

int squareLeft(const RecordingSpec& spec, double t)
{
    const int side = squareSide(spec);
    const double low = spec.width * 0.1;
    const double high = spec.width * 0.9 - side;
    const double travel = std::max(0.0, t - spec.motionStart) * kSquareSpeed * spec.width;
    const double span = std::max(1.0, high - low);
    // Bounces between the two limits: a triangle wave over twice the span.
    const double phase = std::fmod(travel, 2 * span);
    return static_cast<int>(std::lround(low + (phase <= span ? phase : 2 * span - phase)));
}

void drawRecordingFrame(const media::PixelBuffer& bgra, const RecordingSpec& spec, int index, double t)
{
    drawBackground(bgra);
    drawMoving(bgra, spec, index, t);
}

SyntheticRecording makeRecording(const std::filesystem::path& path, const RecordingSpec& spec)
{
    // The still background is drawn once and copied into each frame.
    media::PixelBufferPool backgroundPool(media::PixelFormat::bgra, spec.width, spec.height);
    const media::PixelBuffer background = backgroundPool.acquire();
    drawBackground(background);
    return writeVideo(path, spec, [&](const media::PixelBuffer& picture, int index, double t) {
        copyPicture(background, picture);
        drawMoving(picture, spec, index, t);
    });
}

std::filesystem::path makeAudioOnlyFile(const std::filesystem::path& path, const std::vector<SoundSpec>& sounds,
                                        double duration)
{
    media::AssetWriter writer(path);
    std::vector<int> tracks;
    for (size_t k = 0; k < sounds.size(); ++k)
        tracks.push_back(writer.addAudioTrack());
    writer.start();
    writer.startSession(media::MediaTime{});
    SoundFeeder feeder(writer, sounds, tracks, media::MediaTime{});
    feeder.feedUntil(std::llround(duration * media::kAudioSampleRate));
    writer.finish(media::MediaTime::fromSeconds(duration));
    return path;
}

SyntheticRecording makeCameraClip(const std::filesystem::path& path, double duration, int width, int height, double fps)
{
    RecordingSpec spec;
    spec.width = width;
    spec.height = height;
    spec.fps = fps;
    spec.duration = duration;
    spec.bitRate = 3'000'000;
    return writeVideo(path, spec, [&](const media::PixelBuffer& picture, int index, double t) {
        fillRect(picture, 0, 0, width, height, kWall);
        const double centreX = width / 2.0 + std::sin(2 * std::numbers::pi * kSwayRate * t) * width / 8.0;
        const double centreY = height / 2.0;
        const double radius = height / 4.0;
        for (int y = static_cast<int>(centreY - radius); y <= static_cast<int>(centreY + radius); ++y) {
            const double half = std::sqrt(std::max(0.0, radius * radius - (y - centreY) * (y - centreY)));
            fillRect(picture, static_cast<int>(centreX - half), y, static_cast<int>(2 * half), 1, kFace);
        }
        FrameBarcode::draw(picture, index);
    });
}

} // namespace vi::test
