#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/Plan.h"
#include "RecordCore/Project.h"
#include "RecordCore/SourceInfo.h"
#include "RecordCore/SpeedBlock.h"
#include "RecordCore/ZoomBlock.h"

#include <optional>
#include <vector>

namespace vi {

// How a plan without a project is made.
struct PlanOptions {
    double viewportAspect;   // width / height of the output window the recording is shown in
    bool skipWaiting = true; // detect and speed up waits
    bool autoZoom = true;    // let the shot finder zoom; off, it only pans
    double maxZoom = 1.7;    // the shot finder's zoom cap

    explicit PlanOptions(double viewportAspect_, bool skipWaiting_ = true, bool autoZoom_ = true,
                         double maxZoom_ = 1.7)
        : viewportAspect(viewportAspect_), skipWaiting(skipWaiting_), autoZoom(autoZoom_), maxZoom(maxZoom_) {}
};

// Turns a recording's measurements (activity samples, the input log) and the user's edits into
// the plan of the edited video. Pure functions of their arguments: no state, no errors, safe on
// any thread. Samples are expected in time order.
namespace Planner {

// Source durations beyond this are treated as this long, and durations that are not finite as 0:
// only a broken file reports them, and planning one would otherwise never end.
inline constexpr double longestSource = 48.0 * 3600.0;

// The plan of a project: the system's one way of planning.
Plan plan(const SourceInfo& info, const std::vector<ActivitySample>& samples, const std::optional<InputLog>& log,
          const Project& project, double viewportAspect);
// A plan without a project: no crop, no user blocks, no cuts, no holds.
Plan plan(const SourceInfo& info, const std::vector<ActivitySample>& samples, const std::optional<InputLog>& log,
          const PlanOptions& options);

// The automatic speed-ups as blocks, for the editor's speed lane.
std::vector<SpeedBlock> autoSpeedBlocks(double duration, const std::vector<ActivitySample>& samples,
                                        const std::optional<InputLog>& log, double maxSpeed);
// The automatic zooms as blocks, for the editor's zoom lane.
std::vector<ZoomBlock> autoZoomBlocks(const SourceInfo& info, const std::vector<ActivitySample>& samples,
                                      const std::optional<InputLog>& log, double viewportAspect, double maxZoom);

} // namespace Planner
} // namespace vi
