#pragma once

#include "RecordCore/Plan.h"
#include "RecordCore/Project.h"
#include "Support/SyntheticRecording.h"

namespace vi::test {

// A project that draws the recording over a plain backdrop with nothing over its picture (no
// title, clock or captions) and no wallpaper to render first.
inline Project plainExportProject()
{
    Project project;
    project.wallpaperPreset.reset();
    project.showTitle = false;
    project.showEnd = false;
    project.showClock = false;
    project.showCaptions = false;
    return project;
}

// A plan of the given segments over a recording of `spec`, framed on the whole picture.
inline Plan planOver(const RecordingSpec& spec, std::vector<SpeedSegment> segments)
{
    Plan plan;
    plan.source = {spec.width, spec.height, spec.duration, spec.fps, !spec.sounds.empty()};
    plan.segments = std::move(segments);
    return plan;
}

} // namespace vi::test
