#include "Platform/Media/TrackDecoder.h"

#include "Platform/Media/MediaError.h"
#include "Platform/Media/OpenInput.h"

#include <algorithm>

namespace vi::media::detail {

namespace {

// A few undecodable packets (a damaged frame in an otherwise good file) are passed over;
// this many means the file is not what it claims to be.
constexpr int kDamagedPacketLimit = 64;

MediaError damaged(const std::string& step, int result)
{
    return MediaError(MediaErrorKind::readFailed, "the file is damaged", ffmpegDetail(step, result));
}

} // namespace

TrackDecoder::TrackDecoder(const Asset& asset, TrackKind kind, int indexOfKind, int threads)
    : startOffset_(asset.startOffset()), packet_(makePacket())
{
    const std::vector<TrackInfo> candidates = kind == TrackKind::video ? asset.videoTracks() : asset.audioTracks();
    if (indexOfKind < 0 || indexOfKind >= static_cast<int>(candidates.size())) {
        if (kind == TrackKind::video)
            throw MediaError(MediaErrorKind::noVideoTrack, "it has no video track", asset.path().string());
        throw MediaError(MediaErrorKind::noAudioTrack, "it has no sound track", asset.path().string());
    }
    track_ = candidates[static_cast<size_t>(indexOfKind)];

    format_ = openInput(asset.path());
    if (track_.streamIndex >= static_cast<int>(format_->nb_streams))
        throw MediaError(MediaErrorKind::readFailed, "the file changed while it was open", asset.path().string());
    stream_ = format_->streams[track_.streamIndex];
    // Only this track's packets are wanted: the demuxer skips the rest cheaply.
    for (unsigned index = 0; index < format_->nb_streams; ++index)
        format_->streams[index]->discard = static_cast<int>(index) == track_.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const AVCodec* decoder = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (!decoder)
        throw MediaError(MediaErrorKind::readFailed, "its " + track_.codec + " encoding is not supported",
                         "no decoder for " + track_.codec);
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_)
        throw std::bad_alloc();
    int result = avcodec_parameters_to_context(codec_.get(), stream_->codecpar);
    if (result < 0)
        throw damaged("avcodec_parameters_to_context", result);
    codec_->pkt_timebase = stream_->time_base;
    if (kind == TrackKind::video) {
        codec_->thread_count = std::max(0, threads);
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    result = avcodec_open2(codec_.get(), decoder, nullptr);
    if (result < 0)
        throw MediaError(MediaErrorKind::readFailed, "its " + track_.codec + " decoder could not start",
                         ffmpegDetail("avcodec_open2", result));
}

bool TrackDecoder::receive(AVFrame* frame)
{
    av_frame_unref(frame);
    for (;;) {
        const int result = avcodec_receive_frame(codec_.get(), frame);
        if (result == 0)
            return true;
        if (result == AVERROR_EOF)
            return false;
        if (result == AVERROR_INVALIDDATA) {
            if (++damagedPackets_ > kDamagedPacketLimit)
                throw damaged("avcodec_receive_frame", result);
            continue;
        }
        if (result != AVERROR(EAGAIN))
            throw damaged("avcodec_receive_frame", result);
        if (draining_)
            return false;
        if (!feedDecoder())
            return false;
    }
}

bool TrackDecoder::feedDecoder()
{
    for (;;) {
        int result = av_read_frame(format_.get(), packet_.get());
        if (result < 0) {
            // The end, or a file cut short (a recording killed mid-write): what was read stands.
            const bool atEnd = result == AVERROR_EOF || (format_->pb && avio_feof(format_->pb));
            if (!atEnd)
                throw MediaError(MediaErrorKind::readFailed, "the file could not be read to the end",
                                 ffmpegDetail("av_read_frame", result));
            draining_ = true;
            result = avcodec_send_packet(codec_.get(), nullptr);
            return result == 0 || result == AVERROR_EOF;
        }
        if (packet_->stream_index != track_.streamIndex) {
            av_packet_unref(packet_.get());
            continue;
        }
        result = avcodec_send_packet(codec_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (result == 0 || result == AVERROR(EAGAIN))
            return true;
        if (result == AVERROR_INVALIDDATA && ++damagedPackets_ <= kDamagedPacketLimit)
            continue;
        throw damaged("avcodec_send_packet", result);
    }
}

void TrackDecoder::seek(MediaTime time)
{
    const MediaTime fileTime = time + startOffset_;
    const int64_t target = av_rescale_q(fileTime.convertedTo(kMediaTimescale).value, AVRational{1, kMediaTimescale},
                                        stream_->time_base);
    int result = av_seek_frame(format_.get(), track_.streamIndex, target, AVSEEK_FLAG_BACKWARD);
    if (result < 0) // before the first keyframe, or a format without an index: start over
        result = av_seek_frame(format_.get(), track_.streamIndex, INT64_MIN, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (result < 0)
        throw MediaError(MediaErrorKind::readFailed, "the file cannot be searched", ffmpegDetail("av_seek_frame", result));
    avcodec_flush_buffers(codec_.get());
    draining_ = false;
}

std::optional<MediaTime> TrackDecoder::keyFrameAtOrBefore(MediaTime time) const
{
    const MediaTime fileTime = time + startOffset_;
    const int64_t target = av_rescale_q(fileTime.convertedTo(kMediaTimescale).value, AVRational{1, kMediaTimescale},
                                        stream_->time_base);
    const int found = av_index_search_timestamp(stream_, target, AVSEEK_FLAG_BACKWARD);
    if (found < 0)
        return std::nullopt;
    const AVIndexEntry* entry = avformat_index_get_entry(stream_, found);
    if (!entry || entry->timestamp == AV_NOPTS_VALUE)
        return std::nullopt;
    const MediaTime keyTime{av_rescale_q_rnd(entry->timestamp, stream_->time_base, AVRational{1, kMediaTimescale},
                                             static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)),
                            kMediaTimescale};
    return keyTime - startOffset_;
}

MediaTime TrackDecoder::timeOf(const AVFrame* frame) const
{
    int64_t stamp = frame->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE)
        stamp = frame->pts;
    if (stamp == AV_NOPTS_VALUE)
        return MediaTime{0, kMediaTimescale};
    const MediaTime fileTime{av_rescale_q_rnd(stamp, stream_->time_base, AVRational{1, kMediaTimescale},
                                              static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)),
                             kMediaTimescale};
    return fileTime - startOffset_;
}

} // namespace vi::media::detail
