#pragma once

#include "RecordCore/NRect.h"

#include <optional>
#include <string>
#include <vector>

namespace vi {

// Everything that changes from one output frame to the next apart from the source picture:
// the view to show and the overlays drawn over it. Made fresh for every frame by `Scene`, or
// directly from a view where a still is composed with a look and no edit.
struct FrameState {
    // The speed badge of a sped-up stretch.
    struct Pill {
        int speed = 1; // the segment's speed rounded to a whole number
        std::string label;
        double opacity = 0;
        bool operator==(const Pill&) const = default;
    };
    // The redrawn pointer; x, y normalised (origin top-left) in the cropped source frame.
    struct Pointer {
        double x = 0;
        double y = 0;
        double opacity = 0;
        bool operator==(const Pointer&) const = default;
    };
    // One click effect at a normalised position; progress is the click's age over the effect's
    // life, in [0, 1).
    struct Ripple {
        double x = 0;
        double y = 0;
        double progress = 0;
        bool operator==(const Ripple&) const = default;
    };
    // The caption to show: a line of `Scene::captions`, the active word in it, the line's opacity.
    struct Caption {
        int line = 0;
        int word = 0;
        double opacity = 0;
        bool operator==(const Caption&) const = default;
    };

    // The pointer size factor when no pointer is redrawn.
    static constexpr double defaultPointerScale = 1.6;

    NRect view;
    std::optional<Pill> pill;
    std::optional<Pointer> pointer;
    double pointerScale = defaultPointerScale;
    std::vector<Ripple> ripples;
    double titleOpacity = 0;
    double endOpacity = 0;
    std::optional<double> clock; // seconds of recording time; none hides the badge
    double cameraScale = 1;
    std::optional<Caption> caption;

    // A state showing only `view`: no overlays.
    explicit FrameState(const NRect& view_) : view(view_) {}

    bool operator==(const FrameState&) const = default;
};

} // namespace vi
