#pragma once

#include "RecordCore/InputLog.h"
#include "RecordCore/Plan.h"
#include "RecordCore/SpeedSegment.h"

#include <utility>
#include <vector>

namespace vi::test {

// A plan of the given segments over a 1920 x 1080 source, unzoomed.
inline Plan planOf(std::vector<SpeedSegment> segments) {
    Plan plan;
    plan.source = {1920, 1080, segments.empty() ? 0.0 : segments.back().end, 60, false};
    plan.segments = std::move(segments);
    return plan;
}

// Real time from 0 to `seconds`.
inline Plan realTimePlan(double seconds) { return planOf({{0, seconds, 1, SpeedSegment::Reason::normal}}); }

// A log made by the input recorder of a video without the system pointer.
inline InputLog pointerLog(std::vector<CursorSample> cursor, std::vector<Event> events = {}) {
    return InputLog(std::move(cursor), std::move(events), true, false, std::nullopt);
}

inline Event click(double t, double x, double y, Event::Kind kind = Event::Kind::click) { return {t, kind, x, y}; }

} // namespace vi::test
