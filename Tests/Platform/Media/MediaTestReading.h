#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"

#include <cstdint>
#include <vector>

namespace vi::test {

// One decoded frame as a test sees it: its time and the index its barcode carries.
struct ReadFrame {
    double seconds = 0;
    int index = -1;
};

std::vector<ReadFrame> readAllFrames(const media::Asset& asset, media::VideoReaderOptions options = {});

// The whole of one sound track as interleaved stereo, with the time of its first sample.
struct ReadSound {
    double start = 0;
    std::vector<int16_t> samples;
    size_t frames() const { return samples.size() / 2; }
};

ReadSound readAllSound(const media::Asset& asset, int track = 0);

// The tone's frequency from the zero crossings of the left channel between two times.
double measuredFrequency(const ReadSound& sound, double from, double to);
// Root mean square of the left channel between two times, as a share of full scale.
double rms(const ReadSound& sound, double from, double to);
// Times at which the left channel rises above `threshold` after at least 0.1 s below it.
std::vector<double> onsets(const ReadSound& sound, double threshold);

} // namespace vi::test
