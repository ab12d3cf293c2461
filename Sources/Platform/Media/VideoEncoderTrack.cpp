#include "Platform/Media/VideoEncoderTrack.h"

#include "Platform/Media/Asset.h"
#include "Platform/Media/MediaError.h"

#include <cmath>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/opt.h>
}

namespace vi::media::detail {

namespace {

// Pictures larger than 8K are beyond both encoders' levels.
constexpr int kLargestSide = 8192;
// Frame rates are stored as fractions; this bound keeps 29.97 as 30000/1001.
constexpr int kRateDenominatorLimit = 1001000;

const char* defaultPreset(VideoCodec codec) { return codec == VideoCodec::h264 ? "veryfast" : "superfast"; }

} // namespace

VideoEncoderTrack::VideoEncoderTrack(const VideoTrackSettings& settings, Muxer& muxer)
    : settings_(settings), muxer_(muxer), packet_(makePacket()), shared_(makeFrame()), held_(makePacket())
{
    const auto size = std::to_string(settings.width) + " x " + std::to_string(settings.height);
    if (settings.width <= 0 || settings.height <= 0 || settings.width > kLargestSide || settings.height > kLargestSide)
        throw MediaError(MediaErrorKind::invalidArgument, "a video of " + size + " pixels cannot be written");
    if (settings.width % 2 != 0 || settings.height % 2 != 0)
        throw MediaError(MediaErrorKind::invalidArgument, "a video of " + size + " pixels cannot be written: both sides must be even");
    if (!std::isfinite(settings.expectedFrameRate) || settings.expectedFrameRate <= 0 || settings.expectedFrameRate > 1000)
        throw MediaError(MediaErrorKind::invalidArgument, "the frame rate must be between 0 and 1000 frames a second");
    if (settings.rotation % 90 != 0)
        throw MediaError(MediaErrorKind::invalidArgument, "a video can only be turned by quarter turns");
    stream_ = muxer.addStream();
    stream_->time_base = AVRational{1, kMediaTimescale};
}

void VideoEncoderTrack::open()
{
    const bool h264 = settings_.codec == VideoCodec::h264;
    const char* encoderName = h264 ? "libx264" : "libx265";
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
    if (!encoder)
        throw MediaError(MediaErrorKind::writeFailed, std::string("the ") + (h264 ? "H.264" : "HEVC") + " encoder is missing",
                         std::string("no encoder named ") + encoderName);
    codec_.reset(avcodec_alloc_context3(encoder));
    if (!codec_)
        throw std::bad_alloc();
    AVCodecContext* c = codec_.get();
    c->width = settings_.width;
    c->height = settings_.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, kMediaTimescale};
    c->framerate = av_d2q(settings_.expectedFrameRate, kRateDenominatorLimit);
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    c->sample_aspect_ratio = AVRational{1, 1};
    if (settings_.averageBitRate > 0)
        c->bit_rate = settings_.averageBitRate;
    if (settings_.maxKeyFrameInterval > 0)
        c->gop_size = settings_.maxKeyFrameInterval;
    if (muxer_.needsGlobalHeaders())
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", settings_.preset.empty() ? defaultPreset(settings_.codec) : settings_.preset.c_str(), 0);
    if (h264)
        av_dict_set(&options, "profile", "high", 0);
    else
        av_dict_set(&options, "x265-params", "log-level=error", 0);
    int result = avcodec_open2(c, encoder, &options);
    av_dict_free(&options);
    if (result < 0)
        throw MediaError(MediaErrorKind::writeFailed, "the video encoder could not start", ffmpegDetail("avcodec_open2", result));

    result = avcodec_parameters_from_context(stream_->codecpar, c);
    if (result < 0)
        throw MediaError(MediaErrorKind::writeFailed, "the video encoder could not start",
                         ffmpegDetail("avcodec_parameters_from_context", result));
    if (!h264)
        stream_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1'); // the tag players expect in MP4
    stream_->avg_frame_rate = c->framerate;
    if (settings_.rotation % 360 != 0) {
        auto* matrix = reinterpret_cast<int32_t*>(
            av_stream_new_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
        if (!matrix)
            throw std::bad_alloc();
        // Setting takes the clockwise turn (reading it back gives the counter-clockwise angle).
        av_display_rotation_set(matrix, static_cast<double>(settings_.rotation));
    }
    muxer_.setMetadata(nominalFrameRateKey(stream_->index),
                       std::to_string(c->framerate.num) + "/" + std::to_string(c->framerate.den));
    encoderFrames_ = std::make_unique<PixelBufferPool>(PixelFormat::yuv420p, settings_.width, settings_.height,
                                                       ColorMatrix::bt709, ColorRange::limited);
}

PixelBufferPool& VideoEncoderTrack::bgraPool()
{
    std::lock_guard lock(mutex_);
    if (!bgraPool_)
        bgraPool_ = std::make_unique<PixelBufferPool>(PixelFormat::bgra, settings_.width, settings_.height);
    return *bgraPool_;
}

int64_t VideoEncoderTrack::checkedTicks(MediaTime time) const
{
    const int64_t ticks = time.convertedTo(kMediaTimescale).value;
    if (lastTicks_ && ticks <= *lastTicks_)
        throw MediaError(MediaErrorKind::invalidArgument,
                         "frames must be given in time order (a frame at " + std::to_string(time.seconds()) +
                             " s came after one at " + std::to_string(*lastTicks_ / double(kMediaTimescale)) + " s)");
    return ticks;
}

void VideoEncoderTrack::append(const ImageView& picture, MediaTime time)
{
    std::lock_guard lock(mutex_);
    const int64_t ticks = checkedTicks(time);
    PixelBuffer frame = encoderFrames_->acquire();
    converter_.convert(picture, frame);
    AVFrame* avFrame = frame.avFrame();
    avFrame->pts = ticks;
    encode(avFrame);
    lastTicks_ = ticks;
}

bool VideoEncoderTrack::takesAsItIs(const PixelBuffer& picture) const
{
    const AVFrame* frame = picture.avFrame();
    // Reference-counted memory only: the encoder may keep the picture for its look-ahead after
    // this call returns, and the reference keeps the memory out of its pool until then.
    if (!frame || !frame->buf[0] || picture.format() != PixelFormat::yuv420p)
        return false;
    if (picture.width() != settings_.width || picture.height() != settings_.height)
        return false;
    if (picture.matrix() != ColorMatrix::bt709 || picture.range() != ColorRange::limited)
        return false;
    for (int plane = 0; plane < 3; ++plane) {
        const int rowBytes = plane == 0 ? settings_.width : settings_.width / 2;
        if (!frame->data[plane] || frame->linesize[plane] < rowBytes)
            return false; // bottom-up or overlapping rows: the copy lays them out afresh
    }
    return true;
}

void VideoEncoderTrack::append(const PixelBuffer& picture, MediaTime time)
{
    if (!picture) {
        append(ImageView{}, time); // reports the empty picture
        return;
    }
    if (!takesAsItIs(picture)) {
        append(picture.view(), time);
        return;
    }
    std::lock_guard lock(mutex_);
    const int64_t ticks = checkedTicks(time);
    AVFrame* frame = shared_.get();
    const int result = av_frame_ref(frame, picture.avFrame());
    if (result < 0)
        throw MediaError(MediaErrorKind::writeFailed, "the video encoder failed", ffmpegDetail("av_frame_ref", result));
    frame->pts = ticks;
    frame->color_primaries = AVCOL_PRI_BT709;
    frame->color_trc = AVCOL_TRC_BT709;
    frame->colorspace = AVCOL_SPC_BT709;
    frame->color_range = AVCOL_RANGE_MPEG;
    try {
        encode(frame);
    } catch (...) {
        av_frame_unref(frame);
        throw;
    }
    av_frame_unref(frame); // the encoder holds its own reference for as long as it needs one
    lastTicks_ = ticks;
}

void VideoEncoderTrack::encode(AVFrame* frame)
{
    int result = avcodec_send_frame(codec_.get(), frame);
    if (result < 0 && result != AVERROR_EOF)
        throw MediaError(MediaErrorKind::writeFailed, "the video encoder failed", ffmpegDetail("avcodec_send_frame", result));
    for (;;) {
        result = avcodec_receive_packet(codec_.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0)
            throw MediaError(MediaErrorKind::writeFailed, "the video encoder failed",
                             ffmpegDetail("avcodec_receive_packet", result));
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        if (!firstDts_)
            firstDts_ = packet_->dts;
        if (holding_)
            writeHeld(packet_->dts - held_->dts);
        av_packet_move_ref(held_.get(), packet_.get());
        holding_ = true;
    }
}

void VideoEncoderTrack::writeHeld(int64_t duration)
{
    held_->duration = std::max<int64_t>(1, duration);
    holding_ = false;
    muxer_.write(held_.get());
}

void VideoEncoderTrack::finish(std::optional<MediaTime> end)
{
    std::lock_guard lock(mutex_);
    encode(nullptr);
    if (!holding_)
        return;
    // The track should end at the session end, or one nominal frame after the last frame. An
    // MP4 index ends the track where its latest-ending sample ends (presentation time plus
    // duration). Fragments instead give the track the sum of the sample durations, counted
    // from the first decoding time. Either way the last sample in decoding order decides, as
    // every other one lasts until its successor.
    const int64_t frameTicks = av_rescale_q(1, av_inv_q(codec_->framerate), stream_->time_base);
    int64_t endTicks =
        av_rescale_q(lastTicks_.value_or(0), AVRational{1, kMediaTimescale}, stream_->time_base) + frameTicks;
    if (end)
        endTicks = av_rescale_q(end->convertedTo(kMediaTimescale).value, AVRational{1, kMediaTimescale}, stream_->time_base);
    const int64_t lastStart = muxer_.fragmented() ? held_->dts - firstDts_.value_or(0) : held_->pts;
    writeHeld(endTicks - lastStart);
}

} // namespace vi::media::detail
