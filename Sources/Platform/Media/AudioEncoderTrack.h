#pragma once

// Internal to the media layer: one AAC sound track of AssetWriter.

#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/MediaTime.h"
#include "Platform/Media/Muxer.h"
#include "Platform/Media/WriterSettings.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace vi::media::detail {

class AudioEncoderTrack {
public:
    AudioEncoderTrack(const AudioTrackSettings& settings, Muxer& muxer);

    void open();
    // `time` is relative to the session start and may be negative (that part is cut off).
    void append(std::span<const int16_t> interleaved, MediaTime time);
    // Encodes what is left, up to `end` when given.
    void finish(std::optional<MediaTime> end);

private:
    void queueSilence(int64_t frames);
    void queue(std::span<const int16_t> interleaved);
    void encodeWholeFrames(bool includingPartial);
    void encode(AVFrame* frame);

    AudioTrackSettings settings_;
    Muxer& muxer_;
    AVStream* stream_ = nullptr;
    CodecContext codec_;
    Frame frame_;
    Packet packet_;
    std::vector<int16_t> pending_;  // interleaved samples not yet encoded
    int64_t encodedFrames_ = 0;     // sample frames handed to the encoder, from time 0
    std::mutex mutex_;
};

} // namespace vi::media::detail
