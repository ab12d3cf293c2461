#include "Support/SyntheticSound.h"

#include "Platform/Media/AudioFormat.h"

#include <cmath>
#include <numbers>

namespace vi::test {

SoundSpec SoundSpec::tone(double frequency, double amplitude)
{
    SoundSpec sound;
    sound.kind = Kind::tone;
    sound.frequency = frequency;
    sound.amplitude = amplitude;
    return sound;
}

SoundSpec SoundSpec::clicks(double every, double offset)
{
    SoundSpec sound;
    sound.kind = Kind::clicks;
    sound.frequency = 2000;
    sound.amplitude = 0.8;
    sound.clickEvery = every;
    sound.clickOffset = offset;
    return sound;
}

void synthesize(const SoundSpec& sound, int64_t firstFrame, std::span<int16_t> interleaved)
{
    const size_t frames = interleaved.size() / media::kAudioChannels;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(firstFrame + static_cast<int64_t>(i)) / media::kAudioSampleRate;
        double value = std::sin(2 * std::numbers::pi * sound.frequency * t) * sound.amplitude;
        if (sound.kind == SoundSpec::Kind::clicks) {
            const double sinceClick = t - sound.clickOffset;
            const double intoClick = sinceClick - std::floor(sinceClick / sound.clickEvery) * sound.clickEvery;
            if (sinceClick < 0 || intoClick >= sound.clickLength)
                value = 0;
        }
        const auto sample = static_cast<int16_t>(std::lround(value * 32767.0));
        interleaved[2 * i] = sample;
        interleaved[2 * i + 1] = sample;
    }
}

} // namespace vi::test
