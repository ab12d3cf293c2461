#include "Platform/Media/SoundAtRate.h"

#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vi::media {

namespace {
// Rates are clamped here: beyond these the sound is noise or a drone, and the resampler's
// input rate must stay a sane integer.
constexpr double kSlowestRate = 1.0 / 16;
constexpr double kFastestRate = 16;
// Source frames read per refill of the resampler.
constexpr int kInputChunk = 1024;
} // namespace

void SoundAtRate::restart(double seconds, double rate) {
    const double clamped = std::clamp(rate, kSlowestRate, kFastestRate);
    const int inputRate = int(std::lround(kAudioSampleRate * clamped));
    rate_ = double(inputRate) / kAudioSampleRate;
    source_->seek(seconds);
    ended_ = false;
    resampler_.reset();
    if (inputRate == kAudioSampleRate) return;
    SwrContext* raw = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    int result = swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, kAudioSampleRate, &stereo,
                                     AV_SAMPLE_FMT_S16, inputRate, 0, nullptr);
    detail::Resampler resampler(raw);
    if (result >= 0) result = swr_init(resampler.get());
    if (result < 0) throw MediaError(MediaErrorKind::invalidArgument, "the sound cannot be played at this rate",
                                     ffmpegDetail("swr_init", result));
    resampler_ = std::move(resampler);
}

int SoundAtRate::readSource(int16_t* interleaved, int frames) {
    int given = 0;
    while (!ended_ && given < frames) {
        const int got = source_->read(interleaved + given * kAudioChannels, frames - given);
        if (got <= 0) ended_ = true;
        given += std::max(got, 0);
    }
    return given;
}

void SoundAtRate::read(int16_t* interleaved, int frames) {
    int produced = 0;
    if (!resampler_) {
        produced = readSource(interleaved, frames);
    } else {
        input_.resize(size_t(kInputChunk) * kAudioChannels);
        while (produced < frames) {
            uint8_t* out = reinterpret_cast<uint8_t*>(interleaved + produced * kAudioChannels);
            // First what the resampler still holds (an input of no samples; a null input would
            // flush it as if the sound had ended), then fresh source sound.
            const uint8_t* in = reinterpret_cast<const uint8_t*>(input_.data());
            int made = swr_convert(resampler_.get(), &out, frames - produced, &in, 0);
            if (made == 0) {
                if (ended_) break;
                const int got = readSource(input_.data(), kInputChunk);
                if (got == 0) break;
                made = swr_convert(resampler_.get(), &out, frames - produced, &in, got);
            }
            if (made < 0) break; // a resampler fault plays as silence rather than stopping the clock
            produced += made;
        }
    }
    std::fill(interleaved + produced * kAudioChannels, interleaved + frames * kAudioChannels, int16_t(0));
}

} // namespace vi::media
