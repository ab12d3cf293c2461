#include "MediaTestReading.h"

#include "Platform/Media/AudioTrackReader.h"
#include "Support/FrameBarcode.h"

#include <algorithm>
#include <cmath>

namespace vi::test {

std::vector<ReadFrame> readAllFrames(const media::Asset& asset, media::VideoReaderOptions options)
{
    media::VideoTrackReader reader(asset, options);
    std::vector<ReadFrame> frames;
    while (auto frame = reader.next())
        frames.push_back({frame->seconds(), FrameBarcode::read(frame->picture.view()).value_or(-1)});
    return frames;
}

ReadSound readAllSound(const media::Asset& asset, int track)
{
    media::AudioTrackReader reader(asset, media::AudioReaderOptions{track, 0});
    ReadSound sound;
    bool first = true;
    while (auto chunk = reader.next()) {
        if (first)
            sound.start = chunk->time.seconds();
        first = false;
        sound.samples.insert(sound.samples.end(), chunk->samples, chunk->samples + 2 * chunk->frameCount);
    }
    return sound;
}

namespace {

size_t frameAt(const ReadSound& sound, double seconds)
{
    const double offset = (seconds - sound.start) * media::kAudioSampleRate;
    return static_cast<size_t>(std::clamp(offset, 0.0, static_cast<double>(sound.frames())));
}

} // namespace

double measuredFrequency(const ReadSound& sound, double from, double to)
{
    const size_t begin = frameAt(sound, from), end = frameAt(sound, to);
    int crossings = 0;
    for (size_t i = begin + 1; i < end; ++i)
        if ((sound.samples[2 * (i - 1)] < 0) != (sound.samples[2 * i] < 0))
            ++crossings;
    const double seconds = static_cast<double>(end - begin) / media::kAudioSampleRate;
    return seconds > 0 ? crossings / 2.0 / seconds : 0;
}

double rms(const ReadSound& sound, double from, double to)
{
    const size_t begin = frameAt(sound, from), end = frameAt(sound, to);
    double total = 0;
    for (size_t i = begin; i < end; ++i)
        total += std::pow(sound.samples[2 * i] / 32768.0, 2);
    return end > begin ? std::sqrt(total / static_cast<double>(end - begin)) : 0;
}

std::vector<double> onsets(const ReadSound& sound, double threshold)
{
    std::vector<double> found;
    const auto quietFrames = static_cast<size_t>(0.1 * media::kAudioSampleRate);
    size_t quiet = quietFrames;
    for (size_t i = 0; i < sound.frames(); ++i) {
        if (std::abs(sound.samples[2 * i] / 32768.0) > threshold) {
            if (quiet >= quietFrames)
                found.push_back(sound.start + static_cast<double>(i) / media::kAudioSampleRate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return found;
}

} // namespace vi::test
