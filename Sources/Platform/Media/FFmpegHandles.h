#pragma once

// Internal to the media layer: owning handles for FFmpeg's objects, so every exit path frees them.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace vi::media::detail {

struct InputFormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using InputFormat = std::unique_ptr<AVFormatContext, InputFormatCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;

Frame makeFrame();
Packet makePacket();

// FFmpeg logs to stderr by default; its errors reach callers through our own MediaError
// details, so only fatal messages are printed (VI_FFMPEG_LOG=1 brings the log back).
void quietenFFmpegLog();

} // namespace vi::media::detail
