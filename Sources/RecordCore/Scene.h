#pragma once

#include "RecordCore/CameraPath.h"
#include "RecordCore/CaptionLayout.h"
#include "RecordCore/FrameState.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/Plan.h"
#include "RecordCore/PointerTrack.h"
#include "RecordCore/Project.h"

#include <optional>
#include <string>
#include <vector>

namespace vi {

// The source of everything that changes from one output frame to the next apart from the
// source picture, for one render. Construction does the heavy work once (camera path, pointer
// track, caption lines); `state` then answers any output time with constant work plus short
// scans. Never changed after construction, so any number of threads may ask at once.
class Scene final {
public:
    Scene(Plan plan, Project project, const std::optional<InputLog>& log, double fps);

    const Plan& plan() const { return plan_; }
    const Project& project() const { return project_; }
    const CameraPath& camera() const { return camera_; }
    const std::optional<PointerTrack>& pointer() const { return pointer_; }
    // Empty when captions are off.
    const std::vector<CaptionLayout::Line>& captions() const { return captions_; }
    bool drawsPointer() const { return pointer_.has_value(); }

    // The state of the frame at an output time; the same time always gives the same state.
    FrameState state(double outputTime) const;

    // The clock badge's text and the wait length of the pill's label: "m:ss", "h:mm:ss" from one
    // hour on; rounded to whole seconds, never negative.
    static std::string clock(double seconds);

    // Title card: fully shown until `titleHold`, gone `titleFade` seconds later.
    static constexpr double titleHold = 1.7;
    static constexpr double titleFade = 0.5;
    // End card: fades in over `endFade` seconds from `endLead` seconds before the end.
    static constexpr double endLead = 2.8;
    static constexpr double endFade = 0.4;
    // Pill and caption lines fade in and out over this much output time.
    static constexpr double edgeFade = 0.12;
    // Waits at least this long (source seconds) say how much is skipped.
    static constexpr double namedWait = 10;

private:
    Plan plan_;
    Project project_;
    CameraPath camera_;
    std::optional<PointerTrack> pointer_;
    std::vector<CaptionLayout::Line> captions_;
    double outputDuration_ = 0;
};

} // namespace vi
