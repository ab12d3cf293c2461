#include "Platform/Media/AudioEncoderTrack.h"

#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace vi::media::detail {

namespace {

// Times within 10 ms of where the track has got to count as continuous: capture clocks jitter
// by a little, and filling or cutting such slivers would only add clicks.
constexpr int64_t kContinuityToleranceFrames = kAudioSampleRate / 100;
// AAC's own frame length, used when the encoder does not say.
constexpr int kDefaultFrameLength = 1024;

MediaError encoderFailed(const std::string& step, int result)
{
    return MediaError(MediaErrorKind::writeFailed, "the sound encoder failed", ffmpegDetail(step, result));
}

} // namespace

AudioEncoderTrack::AudioEncoderTrack(const AudioTrackSettings& settings, Muxer& muxer)
    : settings_(settings), muxer_(muxer), frame_(makeFrame()), packet_(makePacket())
{
    if (settings.bitRate <= 0)
        throw MediaError(MediaErrorKind::invalidArgument, "the sound bit rate must be positive");
    stream_ = muxer.addStream();
    stream_->time_base = AVRational{1, kAudioSampleRate};
}

void AudioEncoderTrack::open()
{
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!encoder)
        throw MediaError(MediaErrorKind::writeFailed, "the AAC encoder is missing", "no AAC encoder");
    codec_.reset(avcodec_alloc_context3(encoder));
    if (!codec_)
        throw std::bad_alloc();
    AVCodecContext* c = codec_.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = kAudioSampleRate;
    c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    c->bit_rate = settings_.bitRate;
    c->time_base = AVRational{1, kAudioSampleRate};
    if (muxer_.needsGlobalHeaders())
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int result = avcodec_open2(c, encoder, nullptr);
    if (result < 0)
        throw MediaError(MediaErrorKind::writeFailed, "the sound encoder could not start", ffmpegDetail("avcodec_open2", result));
    result = avcodec_parameters_from_context(stream_->codecpar, c);
    if (result < 0)
        throw encoderFailed("avcodec_parameters_from_context", result);

    frame_->format = c->sample_fmt;
    frame_->sample_rate = kAudioSampleRate;
    frame_->nb_samples = c->frame_size > 0 ? c->frame_size : kDefaultFrameLength;
    av_channel_layout_copy(&frame_->ch_layout, &c->ch_layout);
    result = av_frame_get_buffer(frame_.get(), 0);
    if (result < 0)
        throw std::bad_alloc();
    pending_.reserve(static_cast<size_t>(frame_->nb_samples) * kAudioChannels * 4);
}

void AudioEncoderTrack::append(std::span<const int16_t> interleaved, MediaTime time)
{
    std::lock_guard lock(mutex_);
    const int64_t frameCount = static_cast<int64_t>(interleaved.size() / kAudioChannels);
    int64_t position = time.convertedTo(kAudioSampleRate).value;
    const int64_t reached = encodedFrames_ + static_cast<int64_t>(pending_.size() / kAudioChannels);
    int64_t skip = 0;
    if (position < reached - kContinuityToleranceFrames || position < 0)
        skip = std::min(frameCount, reached - position); // before the session, or already covered
    else if (position > reached + kContinuityToleranceFrames)
        queueSilence(position - reached);
    queue(interleaved.subspan(static_cast<size_t>(skip) * kAudioChannels,
                              static_cast<size_t>(frameCount - skip) * kAudioChannels));
    encodeWholeFrames(false);
}

void AudioEncoderTrack::queueSilence(int64_t frames)
{
    // Silence goes to the encoder a frame at a time, so a long gap costs no memory.
    const int64_t step = codec_->frame_size > 0 ? codec_->frame_size : kDefaultFrameLength;
    while (frames > 0) {
        const int64_t now = std::min(frames, step);
        pending_.insert(pending_.end(), static_cast<size_t>(now) * kAudioChannels, 0);
        encodeWholeFrames(false);
        frames -= now;
    }
}

void AudioEncoderTrack::queue(std::span<const int16_t> interleaved)
{
    pending_.insert(pending_.end(), interleaved.begin(), interleaved.end());
}

void AudioEncoderTrack::encodeWholeFrames(bool includingPartial)
{
    const int frameLength = codec_->frame_size > 0 ? codec_->frame_size : kDefaultFrameLength;
    size_t consumed = 0;
    for (;;) {
        const auto available = static_cast<int>(std::min<size_t>((pending_.size() - consumed) / kAudioChannels,
                                                                 static_cast<size_t>(frameLength)));
        if (available == 0 || (available < frameLength && !includingPartial))
            break;
        const int result = av_frame_make_writable(frame_.get());
        if (result < 0)
            throw encoderFailed("av_frame_make_writable", result);
        frame_->nb_samples = available;
        auto* left = reinterpret_cast<float*>(frame_->data[0]);
        auto* right = reinterpret_cast<float*>(frame_->data[1]);
        const int16_t* source = pending_.data() + consumed;
        constexpr float kScale = 1.0f / 32768.0f;
        for (int i = 0; i < available; ++i) {
            left[i] = static_cast<float>(source[2 * i]) * kScale;
            right[i] = static_cast<float>(source[2 * i + 1]) * kScale;
        }
        frame_->pts = encodedFrames_;
        encode(frame_.get());
        encodedFrames_ += available;
        consumed += static_cast<size_t>(available) * kAudioChannels;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed));
}

void AudioEncoderTrack::encode(AVFrame* frame)
{
    int result = avcodec_send_frame(codec_.get(), frame);
    if (result < 0 && result != AVERROR_EOF)
        throw encoderFailed("avcodec_send_frame", result);
    for (;;) {
        result = avcodec_receive_packet(codec_.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0)
            throw encoderFailed("avcodec_receive_packet", result);
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        muxer_.write(packet_.get());
    }
}

void AudioEncoderTrack::finish(std::optional<MediaTime> end)
{
    std::lock_guard lock(mutex_);
    if (end) {
        const int64_t endFrame = std::max<int64_t>(0, end->convertedTo(kAudioSampleRate).value);
        const int64_t keep = std::max<int64_t>(0, endFrame - encodedFrames_);
        if (static_cast<int64_t>(pending_.size() / kAudioChannels) > keep)
            pending_.resize(static_cast<size_t>(keep) * kAudioChannels);
    }
    encodeWholeFrames(true);
    encode(nullptr);
}

} // namespace vi::media::detail
