#include "RecordCore/Exporter.h"

#include "Platform/Media/Asset.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/CompositionAudioReader.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Platform/Raster/WorkerPool.h"
#include "RecordCore/Compositor.h"
#include "RecordCore/FrameRenderer.h"
#include "RecordCore/RecordError.h"
#include "RecordCore/Scene.h"
#include "RecordCore/Timeline.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

#include <pthread.h>
#include <sched.h>

namespace vi {

namespace {

// Bits per pixel per frame of the automatic rate: ample for screen content in H.264.
constexpr double kAutomaticBitsPerPixel = 0.06;
// A key frame at least every two seconds of output, so players can seek quickly.
constexpr double kKeyFrameSeconds = 2;
constexpr int64_t kSoundBitRate = 192000;
// The encoder takes most cores; frames are composed on up to half of them.
constexpr int kMostComposers = 6;

int usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

bool positiveFinite(double value) { return std::isfinite(value) && value > 0; }

// Writer failures become the user's "Could not write the video: ..."; read failures of the
// media layer pass through as they are.
[[noreturn]] void rethrowForUser(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const media::MediaError& failure) {
        if (failure.kind() == media::MediaErrorKind::writeFailed || failure.kind() == media::MediaErrorKind::invalidArgument)
            throw RecordError::writeFailed(failure.reason());
        throw;
    }
}

std::optional<media::VideoTrackReader> openCamera(const std::optional<std::filesystem::path>& path)
{
    if (!path)
        return std::nullopt;
    // A camera file that is missing, has no video or cannot be decoded leaves the bubble out.
    try {
        const media::Asset asset = media::Asset::open(*path);
        if (!asset.hasVideo())
            return std::nullopt;
        return std::optional<media::VideoTrackReader>(std::in_place, asset,
                                                      media::VideoReaderOptions{0, media::VideoOutput::native, 0, 0});
    } catch (const media::MediaError&) {
        return std::nullopt;
    }
}

void pumpSound(media::CompositionAudioReader& reader, media::AssetWriter& writer, int track, std::exception_ptr& failure)
{
    pthread_setname_np(pthread_self(), "vi.export.audio");
    try {
        while (const auto chunk = reader.next())
            writer.appendAudio(track, {chunk->samples, static_cast<size_t>(chunk->frameCount) * media::kAudioChannels},
                               chunk->time);
    } catch (...) {
        failure = std::current_exception();
    }
}

} // namespace

namespace Exporter {

int64_t automaticBitrate(double width, double height, double fps)
{
    return static_cast<int64_t>(width * height * fps * kAutomaticBitsPerPixel);
}

ExportStats exportVideo(const std::filesystem::path& source, const Plan& plan, const ExportOptions& options,
                        const std::filesystem::path& to, const std::function<void(double)>& progress)
{
    const auto started = std::chrono::steady_clock::now();
    if (!positiveFinite(options.fps))
        throw RecordError::writeFailed("the frame rate must be a positive number");
    if (!positiveFinite(options.scale))
        throw RecordError::writeFailed("the scale must be a positive number");

    const media::Asset asset = media::Asset::open(source);
    if (!asset.hasVideo())
        throw RecordError::noVideoTrack();
    media::VideoTrackReader video(asset, {0, media::VideoOutput::native, 0, 0});

    const media::Composition sound = Timeline::composition(asset, plan, false);
    std::optional<media::CompositionAudioReader> soundReader;
    if (!sound.tracks(media::TrackKind::audio).empty())
        soundReader.emplace(sound);

    const OutputFormat format = options.format();
    const CanvasSize canvas = format.canvas(options.scale);
    const double fps = options.fps;
    media::AssetWriter writer(to);
    media::VideoTrackSettings settings;
    settings.width = static_cast<int>(canvas.width) & ~1; // 4:2:0 needs even sides
    settings.height = static_cast<int>(canvas.height) & ~1;
    settings.averageBitRate = options.bitrate.value_or(automaticBitrate(canvas.width, canvas.height, fps));
    settings.expectedFrameRate = fps;
    settings.maxKeyFrameInterval = static_cast<int>(std::min(kKeyFrameSeconds * fps, double(INT_MAX)));
    int videoTrack = 0, soundTrack = -1;
    try {
        videoTrack = writer.addVideoTrack(settings);
        if (soundReader)
            soundTrack = writer.addAudioTrack({kSoundBitRate});
        writer.start();
        writer.startSession({});
    } catch (...) {
        rethrowForUser(std::current_exception());
    }

    std::optional<media::VideoTrackReader> camera = openCamera(options.camera);
    const Project& project = options.project;
    const double sourceAspect = plan.source.width > 0 && plan.source.height > 0
                                    ? static_cast<double>(plan.source.width) / plan.source.height
                                    : static_cast<double>(asset.videoTracks()[0].uprightWidth) /
                                          std::max(1, asset.videoTracks()[0].uprightHeight);
    raster::WorkerPool inline_(1); // each frame is composed whole on one composing thread
    const Compositor compositor(format, sourceAspect, Look(project), Cards::of(project), options.scale, plan.crop,
                                camera ? CameraStyle::of(project) : std::nullopt, PointerStyle::of(project),
                                CaptionLook::of(project, plan), inline_);
    const Scene scene(plan, project, options.log, fps);
    const double frameCount = std::floor(plan.outputDuration() * fps);
    const int total = static_cast<int>(std::clamp(frameCount, 1.0, double(INT_MAX)));
    const double cameraOffset = options.log ? options.log->cameraOffset.value_or(0) : 0;

    FrameRenderer renderer({plan, fps, video, writer, videoTrack, compositor, progress, scene, total,
                            camera ? &*camera : nullptr, cameraOffset,
                            std::clamp(usableCores() / 2, 1, kMostComposers)});
    std::exception_ptr soundFailure;
    std::thread soundPump;
    if (soundReader)
        soundPump = std::thread(pumpSound, std::ref(*soundReader), std::ref(writer), soundTrack, std::ref(soundFailure));
    renderer.run();
    if (soundPump.joinable())
        soundPump.join();

    for (const std::exception_ptr& failure : {renderer.failure(), soundFailure}) {
        if (failure) {
            writer.cancel();
            rethrowForUser(failure);
        }
    }
    if (renderer.frames() == 0) {
        writer.cancel();
        throw RecordError::writeFailed("the recording gave no picture to write");
    }
    try {
        writer.finish();
    } catch (...) {
        rethrowForUser(std::current_exception());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    return {renderer.frames(), plan.outputDuration(), elapsed.count()};
}

} // namespace Exporter

} // namespace vi
