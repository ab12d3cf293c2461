#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/SpeedBlock.h"
#include "RecordCore/SpeedSegment.h"
#include "RecordCore/TimeRange.h"

#include <vector>

// The speed side of the planner: waits detected in the measurements, the user's speed blocks,
// removed time and the holds behind the title and end cards.
namespace vi::Planner::detail {

// A source duration the planner can work with: at most `longestSource`, 0 when not finite.
double plannable(double duration);

// The automatic speed segments of [0, duration]: normal stretches merged, every speed-up framed
// by a real-time ramp on each side. `log` may be null.
std::vector<SpeedSegment> speedSegments(double duration, const std::vector<ActivitySample>& samples,
                                        const InputLog* log, double maxSpeed);
// Speed blocks laid over [0, duration] with real time between them; overlaps go to the block
// that starts first, speeds below the slowest are raised to it.
std::vector<SpeedSegment> fill(const std::vector<SpeedBlock>& blocks, double duration);
// The removed ranges cut out of the segments; removed time stays as cut segments.
std::vector<SpeedSegment> remove(const std::vector<TimeRange>& removed, const std::vector<SpeedSegment>& segments);
// A short piece at the start (or end) of the first (or last) kept segment stretched to `seconds`.
std::vector<SpeedSegment> hold(std::vector<SpeedSegment> segments, bool atStart, double seconds);

// Slowest speed a block plays at.
inline constexpr double slowestBlockSpeed = 0.05;
// Stretches this short or shorter count as empty.
inline constexpr double emptyLength = 1e-6;
// The held piece of source, and the shortest kept segment a hold is taken from.
inline constexpr double holdPiece = 0.04;
inline constexpr double shortestHeldSegment = 0.08;

} // namespace vi::Planner::detail
