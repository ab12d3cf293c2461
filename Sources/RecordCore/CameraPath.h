#pragma once

#include "RecordCore/NRect.h"
#include "RecordCore/Plan.h"

#include <cstddef>
#include <vector>

namespace vi {

// The spring-smoothed view of every output frame of a plan, computed once so that any renderer
// can ask for the view at any output time. Immutable after construction.
struct CameraPath {
    double fps = 60;
    // One view per output frame; frame i shows output time i / fps. Never empty.
    std::vector<NRect> views;

    // Spring rates the renderers use: a "smooth" camera, and every other motion preset.
    static constexpr double smoothStiffness = 2.6;
    static constexpr double focusedStiffness = 4.6;
    // Frame rate used when the one given is not a positive finite number.
    static constexpr double fallbackFps = 60;
    // The most frames a path holds (a day at 60 frames a second, about 166 MB of views): only a
    // broken plan reaches it, and later times then show the last view.
    static constexpr std::size_t maxFrames = std::size_t{24} * 3600 * 60;

    CameraPath(const Plan& plan, double fps, double stiffness);

    // The frame rate a path is built at: `fps`, or `fallbackFps` when that is not usable.
    static double usableFps(double fps);
    // Frames of a path over an output: ceil(duration x fps) + 1, so the last frame lies at or just
    // past the output's end; at least 1 and at most `maxFrames`, also for durations that are not
    // finite.
    static std::size_t frameCount(double outputDuration, double fps);

    // The view at an output time: a linear blend between the two frames around it; the first view
    // before 0 (or for a time that is not a number), the last one from the last frame on.
    NRect view(double outputTime) const;
};

} // namespace vi
