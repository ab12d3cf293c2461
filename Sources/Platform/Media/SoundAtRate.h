#pragma once

#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/SoundSource.h"

#include <cstdint>
#include <vector>

namespace vi::media {

// Reads a sound source faster or slower than it was made, as a tape would play it: at rate 2
// each second of output holds two seconds of the source. The rate the sound actually plays at
// is `rate()`, the asked rate rounded to a whole input sample rate, so that a clock running
// beside it stays sample-exact. The source and this object belong to one thread.
class SoundAtRate {
public:
    explicit SoundAtRate(SoundSource& source) : source_(&source) {}

    // Starts over from `seconds` of the source at `rate` (above 0).
    void restart(double seconds, double rate);
    double rate() const { return rate_; }

    // Fills exactly `frames` frames; silence once the source has ended.
    void read(int16_t* interleaved, int frames);

private:
    int readSource(int16_t* interleaved, int frames);

    SoundSource* source_;
    double rate_ = 1;
    bool ended_ = false;
    detail::Resampler resampler_;
    std::vector<int16_t> input_;
};

} // namespace vi::media
