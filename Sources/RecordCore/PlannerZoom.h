#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/NRect.h"
#include "RecordCore/Plan.h"
#include "RecordCore/SourceInfo.h"
#include "RecordCore/ZoomBlock.h"

#include <optional>
#include <vector>

// The zoom side of the planner: where the view looks while the recording plays ("follow the
// action"), as shots, as the zoom blocks the editor shows, and zoom blocks back to shots.
namespace vi::Planner::detail {

// The unzoomed view's size as fractions of the source: the output window's aspect fitted inside
// the source, so one side is 1 and the other at most 1.
struct BaseSize {
    double w = 1;
    double h = 1;
};
BaseSize baseSize(double viewportAspect, const SourceInfo& info);

// The view that frames a target box: zoomed in as far as the padded box allows, up to `cap`; a
// zoom too small to be worth it is none, which shows the base view when that is the whole source
// and otherwise pans it onto the box. None for a box that cannot be framed (not finite).
std::optional<NRect> frameTarget(const NRect& box, BaseSize base, double cap);

// What the view should look at, each quarter second of the source: the last click within 0.6 s
// or, failing that, where the screen changes. `log` may be null.
struct Target {
    double t;
    std::optional<NRect> view;
};
std::vector<Target> findTargets(double duration, const std::vector<ActivitySample>& samples, const InputLog* log,
                                BaseSize base, double cap);
// The targets calmed by hysteresis into a few shots, the first being the base view at 0.
std::vector<Shot> shotsOfTargets(const std::vector<Target>& targets, BaseSize base);
// The shot finder: both of the above, zooming up to `maxZoom` when `autoZoom` is on, else only
// panning.
std::vector<Shot> findShots(double duration, const std::vector<ActivitySample>& samples, const InputLog* log,
                            BaseSize base, bool autoZoom, double maxZoom);
// The shots as zoom blocks (each up to the next shot, the last to `duration`), leaving out the
// base view and views that are unzoomed and centred.
std::vector<ZoomBlock> blocksOfShots(const std::vector<Shot>& shots, double duration, BaseSize base);
// Zoom blocks to the plan's shots: a return to the base view after each block that the next one
// does not take over from.
std::vector<Shot> shotsOfBlocks(const std::vector<ZoomBlock>& blocks, BaseSize base);

} // namespace vi::Planner::detail
