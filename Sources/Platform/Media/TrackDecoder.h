#pragma once

// Internal to the media layer: the demuxing and decoding loop behind the track readers.

#include "Platform/Media/Asset.h"
#include "Platform/Media/FFmpegHandles.h"

#include <optional>

namespace vi::media::detail {

// Opens its own copy of the file and decodes one track, in presentation order.
class TrackDecoder {
public:
    // `indexOfKind` counts tracks of `kind` only (0 = the first video track). `threads` 0 lets
    // FFmpeg choose. Throws MediaError: noVideoTrack / noAudioTrack, openFailed, readFailed.
    TrackDecoder(const Asset& asset, TrackKind kind, int indexOfKind, int threads);

    // The next decoded frame into `frame` (whose old contents are dropped); false at the end.
    // Throws MediaError (readFailed) when the file cannot be read on.
    bool receive(AVFrame* frame);

    // Goes to the last keyframe at or before `time`; decoding goes on from there.
    void seek(MediaTime time);

    // The time of the last keyframe at or before `time` by the file's index, relative to the
    // file's start; nothing when the file has no index for the track (or none before `time`).
    std::optional<MediaTime> keyFrameAtOrBefore(MediaTime time) const;

    // The frame's presentation time relative to the file's start.
    MediaTime timeOf(const AVFrame* frame) const;

    const TrackInfo& track() const { return track_; }
    const AVCodecContext* codec() const { return codec_.get(); }

private:
    bool feedDecoder();

    TrackInfo track_;
    MediaTime startOffset_;
    InputFormat format_;
    CodecContext codec_;
    Packet packet_;
    AVStream* stream_ = nullptr;
    bool draining_ = false;
    int damagedPackets_ = 0;
};

} // namespace vi::media::detail
