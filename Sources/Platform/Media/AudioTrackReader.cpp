#include "Platform/Media/AudioTrackReader.h"

#include "Platform/Media/MediaError.h"
#include "Platform/Media/TrackDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vi::media {

namespace {

// Room the resampler may add over the input's own length (its filter delay).
constexpr int kResamplerSlack = 256;
// Stamps further than 10 ms from where the samples have got to mark a gap in the track.
constexpr int64_t kGapFrames = kAudioSampleRate / 100;

} // namespace

struct AudioTrackReader::State {
    State(const Asset& asset, const AudioReaderOptions& options)
        : decoder(asset, TrackKind::audio, options.track, 1), frame(detail::makeFrame())
    {
    }

    // Sets the resampler up for the layout of `input`, again whenever the stream changes it.
    void prepareResampler(const AVFrame* input)
    {
        AVChannelLayout inputLayout{};
        if (input->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&input->ch_layout) == 0)
            av_channel_layout_default(&inputLayout, std::max(1, input->ch_layout.nb_channels));
        else
            av_channel_layout_copy(&inputLayout, &input->ch_layout);
        const bool same = resampler && configuredRate == input->sample_rate && configuredFormat == input->format &&
                          av_channel_layout_compare(&configuredLayout, &inputLayout) == 0;
        if (same) {
            av_channel_layout_uninit(&inputLayout);
            return;
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* raw = nullptr;
        int result = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, kAudioSampleRate, &inputLayout,
                                         static_cast<AVSampleFormat>(input->format), input->sample_rate, 0, nullptr);
        resampler.reset(raw);
        if (result >= 0)
            result = swr_init(resampler.get());
        if (result < 0) {
            av_channel_layout_uninit(&inputLayout);
            throw MediaError(MediaErrorKind::readFailed, "its sound cannot be converted",
                             ffmpegDetail("swr_init", result));
        }
        av_channel_layout_uninit(&configuredLayout);
        configuredLayout = inputLayout;
        configuredRate = input->sample_rate;
        configuredFormat = input->format;
    }

    int convert(const AVFrame* input)
    {
        const int inputCount = input ? input->nb_samples : 0;
        const int room = static_cast<int>(swr_get_out_samples(resampler.get(), inputCount)) + kResamplerSlack;
        if (samples.size() < static_cast<size_t>(room) * kAudioChannels)
            samples.resize(static_cast<size_t>(room) * kAudioChannels);
        uint8_t* output[1] = {reinterpret_cast<uint8_t*>(samples.data())};
        const int produced = swr_convert(resampler.get(), output, room,
                                         input ? const_cast<const uint8_t**>(input->extended_data) : nullptr,
                                         inputCount);
        if (produced < 0)
            throw MediaError(MediaErrorKind::readFailed, "its sound cannot be converted",
                             ffmpegDetail("swr_convert", produced));
        return produced;
    }

    ~State() { av_channel_layout_uninit(&configuredLayout); }

    detail::TrackDecoder decoder;
    detail::Frame frame;
    detail::Resampler resampler;
    AVChannelLayout configuredLayout{};
    int configuredRate = 0;
    int configuredFormat = -1;
    std::vector<int16_t> samples;
    // Where the next converted sample lies, in samples at 48 kHz from the file's start.
    std::optional<int64_t> nextPosition;
    int64_t startPosition = 0; // nothing before this is given
    bool flushed = false;
};

AudioTrackReader::AudioTrackReader(const Asset& asset, AudioReaderOptions options)
    : state_(std::make_unique<State>(asset, options))
{
    if (options.start > 0)
        seek(options.start);
}

AudioTrackReader::~AudioTrackReader() = default;

const TrackInfo& AudioTrackReader::track() const { return state_->decoder.track(); }

void AudioTrackReader::seek(double seconds)
{
    State& s = *state_;
    s.decoder.seek(MediaTime::fromSeconds(seconds));
    s.startPosition = MediaTime::fromSeconds(seconds, kAudioSampleRate).value;
    s.nextPosition.reset();
    s.flushed = false;
    if (s.resampler)
        swr_init(s.resampler.get()); // drops what it held from before the seek
}

std::optional<AudioChunk> AudioTrackReader::next()
{
    State& s = *state_;
    for (;;) {
        int produced = 0;
        if (s.decoder.receive(s.frame.get())) {
            s.prepareResampler(s.frame.get());
            // Chunks follow on sample by sample, so rounding never accumulates; only the first
            // sound after opening or a seek, or a real gap in the track's times, sets the position.
            const int64_t stamped = s.decoder.timeOf(s.frame.get()).convertedTo(kAudioSampleRate).value -
                                    swr_get_delay(s.resampler.get(), kAudioSampleRate);
            if (!s.nextPosition || std::llabs(stamped - *s.nextPosition) > kGapFrames)
                s.nextPosition = stamped;
            produced = s.convert(s.frame.get());
        } else if (!s.flushed && s.resampler) {
            s.flushed = true;
            produced = s.convert(nullptr);
        } else {
            return std::nullopt;
        }
        if (produced <= 0 || !s.nextPosition)
            continue;
        int64_t position = *s.nextPosition;
        *s.nextPosition += produced;
        int skip = 0;
        if (position < s.startPosition)
            skip = static_cast<int>(std::min<int64_t>(produced, s.startPosition - position));
        if (skip == produced)
            continue;
        position += skip;
        return AudioChunk{s.samples.data() + static_cast<size_t>(skip) * kAudioChannels, produced - skip,
                          MediaTime{position, kAudioSampleRate}};
    }
}

} // namespace vi::media
