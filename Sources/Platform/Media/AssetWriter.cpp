#include "Platform/Media/AssetWriter.h"

#include "Platform/Media/AudioEncoderTrack.h"
#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/Muxer.h"
#include "Platform/Media/VideoEncoderTrack.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <variant>
#include <vector>

namespace vi::media {

using Track = std::variant<std::unique_ptr<detail::VideoEncoderTrack>, std::unique_ptr<detail::AudioEncoderTrack>>;

struct AssetWriter::State {
    std::filesystem::path path;
    WriterOptions options;
    std::unique_ptr<detail::Muxer> muxer;
    std::vector<Track> tracks;
    std::atomic<Status> status{Status::configuring};
    std::optional<MediaTime> sessionStart;
    // The first write failure, given again to every later call.
    std::mutex failureMutex;
    std::optional<MediaError> failure;

    void throwIfFailed()
    {
        std::lock_guard lock(failureMutex);
        if (failure)
            throw *failure;
    }

    // Runs one writing step; a writing failure fails the whole writer, a caller's mistake
    // (invalidArgument) only that call.
    void guarded(const std::function<void()>& step)
    {
        throwIfFailed();
        try {
            step();
        } catch (const MediaError& error) {
            if (error.kind() != MediaErrorKind::invalidArgument)
                fail(error);
            throw;
        } catch (const std::bad_alloc&) {
            const MediaError error(MediaErrorKind::writeFailed, "there is not enough memory", "allocation failed");
            fail(error);
            throw error;
        }
    }

    void fail(const MediaError& error)
    {
        {
            std::lock_guard lock(failureMutex);
            if (!failure)
                failure = error;
        }
        status = Status::failed;
    }

    void requireStatus(Status wanted, const char* step) const
    {
        if (status != wanted)
            throw MediaError(MediaErrorKind::invalidArgument, std::string("the writer cannot ") + step + " now");
    }

    template <typename Kind>
    Kind& trackOf(int index)
    {
        if (index < 0 || index >= static_cast<int>(tracks.size()) ||
            !std::holds_alternative<std::unique_ptr<Kind>>(tracks[static_cast<size_t>(index)]))
            throw MediaError(MediaErrorKind::invalidArgument, "there is no such track: " + std::to_string(index));
        return *std::get<std::unique_ptr<Kind>>(tracks[static_cast<size_t>(index)]);
    }

    template <typename Kind, typename Settings>
    int addTrack(const Settings& settings)
    {
        requireStatus(Status::configuring, "add a track");
        if (!muxer)
            muxer = std::make_unique<detail::Muxer>(path, options);
        tracks.emplace_back(std::make_unique<Kind>(settings, *muxer));
        return static_cast<int>(tracks.size()) - 1;
    }

    MediaTime relative(MediaTime time) const { return time - *sessionStart; }
};

AssetWriter::AssetWriter(std::filesystem::path path, WriterOptions options) : state_(std::make_unique<State>())
{
    detail::quietenFFmpegLog();
    state_->path = std::move(path);
    state_->options = options;
}

AssetWriter::~AssetWriter()
{
    State& s = *state_;
    if (s.status == Status::completed || s.status == Status::cancelled || !s.muxer)
        return;
    // Fragments already on disk are a playable recording: keep them.
    s.tracks.clear();
    s.muxer->abandon(false);
}

const std::filesystem::path& AssetWriter::path() const { return state_->path; }

AssetWriter::Status AssetWriter::status() const { return state_->status; }

int AssetWriter::addVideoTrack(const VideoTrackSettings& settings)
{
    return state_->addTrack<detail::VideoEncoderTrack>(settings);
}

int AssetWriter::addAudioTrack(const AudioTrackSettings& settings)
{
    return state_->addTrack<detail::AudioEncoderTrack>(settings);
}

void AssetWriter::start()
{
    State& s = *state_;
    s.requireStatus(Status::configuring, "start");
    if (s.tracks.empty())
        throw MediaError(MediaErrorKind::invalidArgument, "a file needs at least one track");
    s.guarded([&] {
        for (Track& track : s.tracks)
            std::visit([](auto& encoder) { encoder->open(); }, track);
        s.muxer->open();
        s.status = Status::writing;
    });
}

void AssetWriter::startSession(MediaTime sessionStart)
{
    State& s = *state_;
    s.throwIfFailed();
    s.requireStatus(Status::writing, "start a session");
    if (s.sessionStart)
        throw MediaError(MediaErrorKind::invalidArgument, "the writing session has already started");
    s.sessionStart = sessionStart;
}

template <class Picture>
void AssetWriter::appendPicture(int track, const Picture& picture, MediaTime time)
{
    State& s = *state_;
    s.throwIfFailed();
    s.requireStatus(Status::writing, "take frames");
    if (!s.sessionStart)
        throw MediaError(MediaErrorKind::invalidArgument, "frames were given before the writing session started");
    auto& encoder = s.trackOf<detail::VideoEncoderTrack>(track);
    const MediaTime relative = s.relative(time);
    if (relative.value < 0)
        return; // before the session: not part of the file
    s.guarded([&] { encoder.append(picture, relative); });
}

void AssetWriter::appendVideo(int track, const ImageView& picture, MediaTime time) { appendPicture(track, picture, time); }

void AssetWriter::appendVideo(int track, const PixelBuffer& picture, MediaTime time) { appendPicture(track, picture, time); }

void AssetWriter::appendAudio(int track, std::span<const int16_t> interleaved, MediaTime time)
{
    State& s = *state_;
    s.throwIfFailed();
    s.requireStatus(Status::writing, "take sound");
    if (!s.sessionStart)
        throw MediaError(MediaErrorKind::invalidArgument, "sound was given before the writing session started");
    auto& encoder = s.trackOf<detail::AudioEncoderTrack>(track);
    s.guarded([&] { encoder.append(interleaved, s.relative(time)); });
}

void AssetWriter::finish(std::optional<MediaTime> sessionEnd)
{
    State& s = *state_;
    s.throwIfFailed();
    s.requireStatus(Status::writing, "finish");
    if (!s.sessionStart)
        s.sessionStart = sessionEnd.value_or(MediaTime{});
    std::optional<MediaTime> end;
    if (sessionEnd)
        end = s.relative(*sessionEnd);
    s.guarded([&] {
        for (Track& track : s.tracks)
            std::visit([&](auto& encoder) { encoder->finish(end); }, track);
        s.muxer->close();
        s.status = Status::completed;
    });
}

void AssetWriter::cancel()
{
    State& s = *state_;
    if (s.status == Status::completed || s.status == Status::cancelled)
        return;
    s.status = Status::cancelled;
    if (s.muxer)
        s.muxer->abandon(true);
}

PixelBufferPool& AssetWriter::pixelBufferPool(int track)
{
    return state_->trackOf<detail::VideoEncoderTrack>(track).bgraPool();
}

} // namespace vi::media
