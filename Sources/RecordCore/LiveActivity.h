#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/ChangeMask.h"
#include "RecordCore/PixelView.h"

#include <cstdint>
#include <vector>

namespace vi {

// Measures screen activity while a recording runs. The screen recorder hands it every captured
// frame on its capture queue; it keeps a change mask for at most 15 frames a second and
// summarises them once the capture has stopped. No lock: feeding and reading never overlap.
class LiveActivity final {
public:
    LiveActivity();

    // t is the frame's time in seconds from the recording's first frame. Never fails.
    void add(const PixelView& frame, double t);

    // The summary of every frame measured so far.
    std::vector<ActivitySample> samples() const;

    // The bytes the kept masks take, for callers that watch a long recording's memory.
    std::size_t maskBytes() const { return masks_.byteSize(); }

private:
    static constexpr int cols = 64;
    static constexpr int rows = 40;
    static constexpr int gridW = cols * 4;
    static constexpr int gridH = rows * 4;
    // Measuring more often than this adds nothing the planner can use.
    static constexpr double measuresPerSecond = 15.0;
    // Half-width of the flicker window in measured frames: 2 s on each side at 15 a second.
    static constexpr int window = 30;

    std::vector<std::uint8_t> previous_; // empty until the first frame is measured
    std::vector<std::uint8_t> current_;
    std::vector<double> times_;
    ChangeMaskList masks_;
    double nextT_ = 0.0;
};

} // namespace vi
