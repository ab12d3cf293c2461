#pragma once

#include "Platform/Capture/AudioCapture.h"

#include <mutex>
#include <vector>

namespace vi::test {

// Host times at which a loud sound starts after a silence, in what a sound capture hears (the
// speakers' monitor in the player's tests): where the clicks of a click track were played.
class HeardOnsets {
public:
    // The delegate to capture with; the object must outlive the capture.
    capture::AudioCapture::Delegate delegate();
    std::vector<double> onsets() const;

private:
    static constexpr float kLoud = 0.1f;
    // A click counts only after this much quiet (50 ms at 48 kHz), so one click is one onset.
    static constexpr int kQuietBefore = capture::AudioCapture::sampleRate / 20;
    mutable std::mutex mutex_;
    int quiet_ = 0;
    std::vector<double> onsets_;
};

} // namespace vi::test
