#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/AudioTrackReader.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace vi::test {

// The left channel of one sound track of a file, as floats from the file's time 0.
inline std::vector<float> soundOf(const media::Asset& asset, int track) {
    media::AudioTrackReader reader(asset, {track, 0});
    std::vector<float> samples;
    while (auto chunk = reader.next()) {
        const auto start = static_cast<std::size_t>(std::llround(chunk->time.seconds() * 48000));
        if (samples.size() < start) samples.resize(start, 0.0f);
        for (int i = 0; i < chunk->frameCount; ++i) samples.push_back(chunk->samples[i * 2] / 32768.0f);
    }
    return samples;
}

// Seconds at which the sound first gets louder than `threshold`; negative when it never does.
inline double onsetOf(const std::vector<float>& samples, float threshold) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > threshold) return static_cast<double>(i) / 48000;
    }
    return -1;
}

// Root mean square level and zero crossings a second over [from, to) seconds.
struct SoundMeasure {
    double level = 0;
    double crossingsPerSecond = 0;
};
inline SoundMeasure measure(const std::vector<float>& samples, double from, double to) {
    const auto begin = static_cast<std::size_t>(from * 48000);
    const auto end = std::min(samples.size(), static_cast<std::size_t>(to * 48000));
    if (end <= begin + 1) return {};
    // Crossings count only swings past a small level either side of zero, so that the encoder's
    // faint noise around a tone's edges is not taken for pitch.
    constexpr float swing = 0.02f;
    double sum = 0;
    int crossings = 0;
    int side = 0; // -1 below -swing, +1 above +swing, 0 not yet known
    for (std::size_t i = begin; i < end; ++i) {
        sum += double(samples[i]) * samples[i];
        const int now = samples[i] > swing ? 1 : (samples[i] < -swing ? -1 : 0);
        if (now != 0) {
            if (side != 0 && now != side) ++crossings;
            side = now;
        }
    }
    const double seconds = static_cast<double>(end - begin) / 48000;
    return {std::sqrt(sum / static_cast<double>(end - begin)), crossings / seconds};
}

} // namespace vi::test
