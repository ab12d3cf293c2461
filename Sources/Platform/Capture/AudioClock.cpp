#include "Platform/Capture/AudioClock.h"

#include <cmath>

namespace vi::capture {

namespace {
// Share of each new offset measurement taken into the correction: with 10 ms chunks the correction
// settles in about half a second, which averages jitter of several milliseconds away while keeping
// the lag behind a drift of 0.1 % under a millisecond.
constexpr double correctionGain = 0.02;
} // namespace

void AudioClock::anchorAt(double measuredStart) {
    anchored_ = true;
    anchor_ = measuredStart - static_cast<double>(frames_) / rate_;
    correction_ = 0;
    offFrames_ = 0;
}

double AudioClock::stamp(int frames, double measuredStart) {
    const double counted = anchor_ + static_cast<double>(frames_) / rate_;
    const double error = measuredStart - (counted + correction_);
    if (!anchored_ || std::abs(error) > certainBreak) {
        anchorAt(measuredStart);
    } else if (std::abs(error) > discontinuity) {
        // Keep counting until the offset has held long enough to be a break, not a stall.
        if (static_cast<double>(offFrames_) / rate_ >= confirmation) {
            anchorAt(measuredStart);
        } else {
            offFrames_ += frames;
        }
    } else {
        offFrames_ = 0;
        correction_ += error * correctionGain;
    }
    const double stamped = anchor_ + static_cast<double>(frames_) / rate_ + correction_;
    frames_ += frames;
    return stamped;
}

} // namespace vi::capture
