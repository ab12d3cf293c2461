#include "Platform/Media/Asset.h"

#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/OpenInput.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/parseutils.h>
}

namespace vi::media {

namespace {

// Rates beyond this are timebases mistaken for frame rates, not frame rates.
constexpr double kHighestPlausibleFrameRate = 1000.0;

MediaTime toMediaTime(int64_t value, AVRational base)
{
    return {av_rescale_q_rnd(value, base, AVRational{1, kMediaTimescale},
                             static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)),
            kMediaTimescale};
}

double plausibleRate(AVRational rate)
{
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    const double value = av_q2d(rate);
    return value > 0 && value <= kHighestPlausibleFrameRate ? value : 0;
}

double declaredFrameRate(const AVFormatContext* format, int streamIndex)
{
    const AVDictionaryEntry* entry = av_dict_get(format->metadata, nominalFrameRateKey(streamIndex).c_str(), nullptr, 0);
    if (!entry)
        return 0;
    AVRational rate{0, 1};
    if (av_parse_ratio(&rate, entry->value, 1000000, 0, nullptr) < 0)
        return 0;
    return plausibleRate(rate);
}

int clockwiseQuarterTurns(const AVStream* stream)
{
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t))
        return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(counterClockwise))
        return 0;
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

// Time 0 of the file: where its first video track starts, so that a recording's first frame is
// at 0 even where sound (or an encoder's priming) reaches a little before it; a file without
// video starts with its earliest track.
MediaTime fileStart(const AVFormatContext* format)
{
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            stream->start_time != AV_NOPTS_VALUE)
            return toMediaTime(stream->start_time, stream->time_base);
    }
    if (format->start_time != AV_NOPTS_VALUE)
        return toMediaTime(format->start_time, AV_TIME_BASE_Q);
    return MediaTime{0, kMediaTimescale};
}

} // namespace

std::string nominalFrameRateKey(int streamIndex)
{
    return "com.vavodidiriz.nominal-frame-rate." + std::to_string(streamIndex);
}

Asset Asset::open(const std::filesystem::path& path)
{
    detail::InputFormat format = detail::openInput(path);

    Asset asset;
    asset.path_ = path;
    asset.startOffset_ = fileStart(format.get());

    MediaTime longest{0, kMediaTimescale};
    bool anySamples = false;
    for (unsigned index = 0; index < format->nb_streams; ++index) {
        const AVStream* stream = format->streams[index];
        const AVCodecParameters* parameters = stream->codecpar;
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue; // cover art, not a video track
        TrackInfo track;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
            track.kind = TrackKind::video;
            track.codedWidth = parameters->width;
            track.codedHeight = parameters->height;
            track.rotation = clockwiseQuarterTurns(stream);
            const bool quarterTurn = track.rotation == 90 || track.rotation == 270;
            track.uprightWidth = quarterTurn ? track.codedHeight : track.codedWidth;
            track.uprightHeight = quarterTurn ? track.codedWidth : track.codedHeight;
            track.nominalFrameRate = declaredFrameRate(format.get(), static_cast<int>(index));
            if (track.nominalFrameRate == 0)
                track.nominalFrameRate = plausibleRate(stream->avg_frame_rate);
            if (track.nominalFrameRate == 0)
                track.nominalFrameRate = plausibleRate(stream->r_frame_rate);
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
            track.kind = TrackKind::audio;
            track.sampleRate = parameters->sample_rate;
            track.channels = parameters->ch_layout.nb_channels;
        } else {
            continue;
        }
        track.streamIndex = static_cast<int>(index);
        track.codec = avcodec_get_name(parameters->codec_id);
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
            const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            track.duration = toMediaTime(start + stream->duration, stream->time_base) - asset.startOffset_;
        } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
            track.duration = toMediaTime(format->duration, AV_TIME_BASE_Q);
        }
        anySamples = anySamples || stream->nb_frames > 0 || track.duration.value > 0;
        longest = std::max(longest, track.duration);
        asset.tracks_.push_back(std::move(track));
    }

    if (asset.tracks_.empty())
        throw MediaError(MediaErrorKind::openFailed, "it holds no video or sound", "no audio or video stream");
    // A file whose tracks know their length and have nothing in them (a recording that never got
    // a frame) is empty; a file that simply does not say how long it is may still be read.
    const bool lengthUnknown = format->duration == AV_NOPTS_VALUE && longest.value == 0;
    if (!anySamples && !lengthUnknown)
        throw MediaError(MediaErrorKind::openFailed, "it holds no frames or sound", "every stream is empty");
    asset.duration_ = longest.value > 0 || format->duration == AV_NOPTS_VALUE || format->duration <= 0
                          ? longest
                          : toMediaTime(format->duration, AV_TIME_BASE_Q);
    return asset;
}

std::vector<TrackInfo> Asset::videoTracks() const
{
    std::vector<TrackInfo> found;
    std::copy_if(tracks_.begin(), tracks_.end(), std::back_inserter(found),
                 [](const TrackInfo& track) { return track.kind == TrackKind::video; });
    return found;
}

std::vector<TrackInfo> Asset::audioTracks() const
{
    std::vector<TrackInfo> found;
    std::copy_if(tracks_.begin(), tracks_.end(), std::back_inserter(found),
                 [](const TrackInfo& track) { return track.kind == TrackKind::audio; });
    return found;
}

bool Asset::hasVideo() const
{
    return std::any_of(tracks_.begin(), tracks_.end(), [](const TrackInfo& t) { return t.kind == TrackKind::video; });
}

bool Asset::hasAudio() const
{
    return std::any_of(tracks_.begin(), tracks_.end(), [](const TrackInfo& t) { return t.kind == TrackKind::audio; });
}

} // namespace vi::media
