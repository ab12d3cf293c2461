#pragma once

#include <cstdint>

namespace vi::capture {

// Stamps a continuous sound stream on the host clock. The sound card's clock and the host clock
// drift apart slowly, and each measurement of "when was this sample captured" jitters by a few
// milliseconds. Counting samples alone accumulates the drift; trusting each measurement passes on the
// jitter. So stamps follow the sample count and a smoothed correction that tracks the measured
// offset: the drift is corrected continuously and never accumulates.
//
// A measurement far off the count is either a real break in the stream (the source was suspended)
// or the reading thread running late on a busy machine. Moving the stamps for the latter would
// overlap the next chunks with sound already stamped, and the writer would drop it, so a moderate
// jump moves the stamps only once it has held for a while; a huge one moves them at once. Sound the
// server reports as lost is counted through skip() and needs no new anchor.
class AudioClock {
public:
    explicit AudioClock(int sampleRate) : rate_(sampleRate) {}

    // `measuredStart`: the host time at which the chunk's first sample was captured, as measured.
    // Returns the host time to stamp the chunk with.
    double stamp(int frames, double measuredStart);

    // Frames the stream lost (a hole): they keep their place in time but carry no sound.
    void skip(int frames) { frames_ += frames; }

    // Beyond this the measurement is no longer jitter.
    static constexpr double discontinuity = 0.1;
    // A scheduling stall never lasts this long: beyond it the stream really broke.
    static constexpr double certainBreak = 1.0;
    // How much sound must measure off the count before a moderate jump is believed.
    static constexpr double confirmation = 0.3;

private:
    void anchorAt(double measuredStart);

    int rate_;
    bool anchored_ = false;
    double anchor_ = 0;
    std::int64_t frames_ = 0;
    double correction_ = 0;
    std::int64_t offFrames_ = 0; // consecutive frames measured beyond the discontinuity
};

} // namespace vi::capture
