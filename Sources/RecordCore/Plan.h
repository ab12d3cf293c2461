#pragma once

#include "RecordCore/NRect.h"
#include "RecordCore/SourceInfo.h"
#include "RecordCore/SpeedSegment.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vi {

// A framing target of the view: from `start` (source seconds) on, look at `view`.
struct Shot {
    double start = 0;
    NRect view;

    bool operator==(const Shot&) const = default;
};

// The automatic edit of one recording: which stretches of source time play at which speed, where
// the view is framed over time, how large the unzoomed view is and which part of the recorded
// frame is used. A plain value, rebuilt from the project whenever needed and never stored.
//
// The read operations are plain walks from the first element: they are asked a few times per
// rendered frame of plans with a few hundred elements. Callers that step through a whole
// recording use `SourceTimeCursor`, which gives the same answers without walking from the start.
struct Plan {
    // The source as the plan sees it: after the project's crop.
    SourceInfo source;
    // In source order from 0, covering the source end to end; removed time is present as cuts.
    std::vector<SpeedSegment> segments;
    // Ordered by start; the first is the unzoomed centred view at 0 when the planner builds it.
    std::vector<Shot> shots;
    // The unzoomed view's size as fractions of the cropped source: one is 1, the other at most 1.
    double baseW = 1;
    double baseH = 1;
    // The project's crop in coordinates of the full recorded frame; none when all of it is used.
    std::optional<NRect> crop;

    // Length of the edited video in seconds.
    double outputDuration() const;
    // The source time shown at an output time. A boundary maps to the start of the next segment
    // that plays; from the output's end on, the end of the last segment.
    double sourceTime(double output) const;
    // The output time at which a source time is shown; a time inside a cut maps to the moment the
    // kept material before it ends.
    double outputTime(double source) const;
    // The segment that plays a source time; for a time inside a cut or outside the segments, the
    // last segment. None only without segments.
    std::optional<SpeedSegment> segment(double source) const;
    // The framing target in force at a source time.
    NRect view(double source) const;

    // The unzoomed view centred in the source.
    NRect baseView() const;

    bool operator==(const Plan&) const = default;
};

// Maps non-decreasing output times to source times by walking the segments forward once.
// Every answer is bit-identical to `Plan::sourceTime`: the running sum of output lengths is built
// in the same order, from the same terms. Asking for an earlier time than the last one starts the
// walk over. The plan must outlive the cursor.
class SourceTimeCursor {
public:
    explicit SourceTimeCursor(const Plan& plan) : segments_(&plan.segments) {}

    double sourceTime(double output);

private:
    const std::vector<SpeedSegment>* segments_;
    std::size_t index_ = 0;     // the first segment that may still end after the asked time
    double outputBefore_ = 0;   // sum of the output lengths of the segments before `index_`
    double lastOutput_ = 0;
    bool started_ = false;
};

} // namespace vi
