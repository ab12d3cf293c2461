#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/MediaTime.h"
#include "Platform/Media/PixelBuffer.h"

#include <functional>
#include <memory>
#include <optional>

namespace vi::media {

enum class VideoOutput {
    bgra,   // converted to BGRA (opaque, so premultiplied as is) with the track's own matrix and range
    native, // the decoder's own YUV planes, not copied (yuv420p or nv12; other layouts become yuv420p)
};

struct VideoReaderOptions {
    int track = 0;                        // which video track, counting video tracks only
    VideoOutput output = VideoOutput::bgra;
    double start = 0;                     // seconds: the first frame given is the one showing then
    int threads = 0;                      // decoding threads; 0 lets FFmpeg choose by core count
};

struct VideoFrame {
    PixelBuffer picture; // the stored picture; the track's rotation is not applied
    MediaTime time;      // presentation time from the file's start, timescale 60000
    double seconds() const { return time.seconds(); }
};

// Reads one video track forward in presentation order, decoding on several threads; BGRA
// conversion of one frame runs on a thread of the reader's own while the next one decodes.
// Pictures come from a pool: holding a few is fine, holding every frame of a long file is not.
// One reader belongs to one thread at a time.
class VideoTrackReader {
public:
    // Throws MediaError: noVideoTrack, openFailed, readFailed.
    explicit VideoTrackReader(const Asset& asset, VideoReaderOptions options = {});
    ~VideoTrackReader();
    VideoTrackReader(const VideoTrackReader&) = delete;
    VideoTrackReader& operator=(const VideoTrackReader&) = delete;

    // The next frame, or nothing at the end. Throws MediaError (readFailed) when the file
    // cannot be read on; a file cut short simply ends.
    std::optional<VideoFrame> next();

    // Goes to `seconds` (from the keyframe before it, decoding forward): the next frame is the
    // one showing at that time, or the first frame when the time is before it.
    void seek(double seconds);

    // Asked between decoded frames while the frame a seek went to is searched for from its
    // keyframe: when it says so, the search stops and the next frame given is the latest one
    // reached (earlier than asked for); reading goes on from there. For a caller that learns
    // meanwhile that the frame is no longer wanted. Called on the reading thread.
    void setInterruption(std::function<bool()> interrupted);

    // The time of the last keyframe at or before `time` (as the file's index has it), so a
    // caller can tell whether seeking beats decoding on; nothing when the file has no index.
    std::optional<MediaTime> keyFrameAtOrBefore(MediaTime time) const;

    const TrackInfo& track() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vi::media
