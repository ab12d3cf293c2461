#pragma once

#include "RecordCore/FrameState.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/Plan.h"
#include "RecordCore/Project.h"

#include <optional>
#include <vector>

namespace vi {

// The redrawn pointer of a whole render, computed once: one position and opacity per output
// frame (spring-smoothed, faded out while the pointer rests) and the clicks on output time.
// A value never changed after construction; read it from any thread.
struct PointerTrack {
    using Point = FrameState::Pointer;
    struct Click {
        double t = 0; // output seconds
        double x = 0;
        double y = 0;
        bool operator==(const Click&) const = default;
    };

    double fps = 60;
    // Frame i shows output time i / fps; normalised positions in the cropped source. Never empty.
    std::vector<Point> points;
    // Clicks to draw, in the order of the log's events.
    std::vector<Click> clicks;

    // The spring's rate (1/s): critically damped, it settles a jump in about a fifth of a second.
    static constexpr double springRate = 24;
    // Per-frame exponential approach of the opacity, as a rate: reaches its target in about 1/9 s.
    static constexpr double fadeRate = 9;
    // A pointer counts as resting after this many source seconds without movement.
    static constexpr double idleSeconds = 2.0;
    // |dx| + |dy| (normalised) a sample must move from the previous one to count as movement:
    // below it, sensor jitter would keep a resting pointer visible.
    static constexpr double moveThreshold = 0.0008;
    // How long a click effect shows, in output seconds.
    static constexpr double clickLife = 0.45;

    // None when no pointer is to be drawn: the log does not say that the video lacks the system
    // pointer, or it holds fewer than two pointer samples.
    static std::optional<PointerTrack> make(const InputLog& log, const Plan& plan, const Project& project,
                                            double fps);

    // The point of the frame nearest to an output time; the first or last beyond the ends.
    FrameState::Pointer state(double outputTime) const;
    // The click effects alive at an output time, in click order.
    std::vector<FrameState::Ripple> ripples(double outputTime) const;

    bool operator==(const PointerTrack&) const = default;
};

} // namespace vi
