#pragma once

// Internal to the media layer: one video track of AssetWriter, from pictures to muxed packets.

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/MediaTime.h"
#include "Platform/Media/Muxer.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/WriterSettings.h"

#include <memory>
#include <mutex>
#include <optional>

namespace vi::media::detail {

class VideoEncoderTrack {
public:
    // Checks the settings and adds the stream. Throws MediaError (invalidArgument).
    VideoEncoderTrack(const VideoTrackSettings& settings, Muxer& muxer);

    // Opens the encoder; before the muxer writes its header. Throws MediaError (writeFailed).
    void open();
    // `time` is relative to the session start and not negative.
    void append(const ImageView& picture, MediaTime time);
    // The same, handing a picture the encoder can take as it is over without copying it.
    void append(const PixelBuffer& picture, MediaTime time);
    // Flushes the encoder; the last frame lasts until `end` when given.
    void finish(std::optional<MediaTime> end);

    PixelBufferPool& bgraPool();

private:
    int64_t checkedTicks(MediaTime time) const;
    bool takesAsItIs(const PixelBuffer& picture) const;
    void encode(AVFrame* frame);
    void writeHeld(int64_t duration);

    VideoTrackSettings settings_;
    Muxer& muxer_;
    AVStream* stream_ = nullptr;
    CodecContext codec_;
    Packet packet_;
    Frame shared_; // a reference to a caller's picture while the encoder takes it
    Packet held_; // packets wait for their successor, which tells their duration
    bool holding_ = false;
    ColorConverter converter_;
    std::unique_ptr<PixelBufferPool> encoderFrames_;
    std::unique_ptr<PixelBufferPool> bgraPool_;
    std::optional<int64_t> lastTicks_;
    std::optional<int64_t> firstDts_; // of the first packet, in the stream's time base
    std::mutex mutex_;
};

} // namespace vi::media::detail
