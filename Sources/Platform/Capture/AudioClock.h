#pragma once

#include <cstdint>

namespace vi::capture {

// Stamps a continuous sound stream on the host clock. The sound card's clock and the host clock
// drift apart slowly, and each measurement of "when was this sample captured" jitters by a few
// milliseconds. Counting samples alone accumulates the drift; trusting each measurement passes on the
// jitter. So stamps follow the sample count and a smoothed correction that tracks the measured
// offset: the drift is corrected continuously and never accumulates. A jump far beyond any jitter
// (the source was suspended, data was lost) starts a new anchor at once.
class AudioClock {
public:
    explicit AudioClock(int sampleRate) : rate_(sampleRate) {}

    // `measuredStart`: the host time at which the chunk's first sample was captured, as measured.
    // Returns the host time to stamp the chunk with.
    double stamp(int frames, double measuredStart);

    // Beyond this the measurement is a gap in the stream, not jitter.
    static constexpr double discontinuity = 0.1;

private:
    int rate_;
    bool anchored_ = false;
    double anchor_ = 0;
    std::int64_t frames_ = 0;
    double correction_ = 0;
};

} // namespace vi::capture
