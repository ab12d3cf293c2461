#pragma once

#include "Platform/Media/MediaTime.h"
#include "Platform/Media/PixelBuffer.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/WriterSettings.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace vi::media {

// Writes an MP4 file: H.264 or HEVC video tracks and AAC sound tracks, in the order added.
//
// Use: add the tracks, start(), startSession(t) with the time of the first frame, append frames
// and sound with their own presentation times (any spacing: a still screen may write a frame a
// minute), then finish(end). Times are on the caller's clock: the session start becomes time 0
// of the file, and media before it is left out. The last frame lasts until the session's end.
//
// Every failing step throws MediaError (writeFailed with a reason; invalidArgument for a
// caller's mistake, which leaves the writer usable). After a write failure the writer is
// failed and every later call throws that same error.
//
// Threads: each track's appends come from one thread at a time; different tracks may be fed
// from different threads at once. start, startSession, finish and cancel are called by the
// owner when no append is running.
class AssetWriter {
public:
    enum class Status { configuring, writing, completed, failed, cancelled };

    explicit AssetWriter(std::filesystem::path path, WriterOptions options = {});
    // An unfinished writer is cancelled; a fragmented file keeps what already reached the disk.
    ~AssetWriter();
    AssetWriter(const AssetWriter&) = delete;
    AssetWriter& operator=(const AssetWriter&) = delete;

    // Before start(). Return the track's index among all tracks. Throw invalidArgument.
    int addVideoTrack(const VideoTrackSettings& settings);
    int addAudioTrack(const AudioTrackSettings& settings = {});

    // Opens the encoders and the file (any file at the path is replaced).
    void start();
    // The caller's time that becomes 0 in the file. Once, after start().
    void startSession(MediaTime sessionStart);

    // A frame of any layout and size (converted and scaled to the track's), shown from `time`
    // until the next frame. Times must increase; a frame before the session start is dropped.
    void appendVideo(int track, const ImageView& picture, MediaTime time);
    // A pooled 4:2:0 picture of the track's size, matrix and range goes to the encoder as it is,
    // without a copy; it stays alive (and out of its pool) until the encoder lets it go.
    void appendVideo(int track, const PixelBuffer& picture, MediaTime time);

    // Interleaved 16-bit stereo at 48 kHz starting at `time`. A gap in the times is filled with
    // silence, and sound that overlaps what was already given is dropped, so the track keeps
    // time with the video; sound before the session start is cut off.
    void appendAudio(int track, std::span<const int16_t> interleaved, MediaTime time);

    // Flushes the encoders and completes the file. With `sessionEnd` the last frame lasts until
    // then; without, the file ends one nominal frame after the last frame.
    void finish(std::optional<MediaTime> sessionEnd = std::nullopt);

    // Stops writing and deletes the file. Never throws.
    void cancel();

    Status status() const;

    // BGRA buffers of a video track's size for callers that draw frames themselves.
    PixelBufferPool& pixelBufferPool(int track);

    const std::filesystem::path& path() const;

private:
    struct State;
    template <class Picture>
    void appendPicture(int track, const Picture& picture, MediaTime time);
    std::unique_ptr<State> state_;
};

} // namespace vi::media
