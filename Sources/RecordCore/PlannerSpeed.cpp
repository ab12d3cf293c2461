#include "RecordCore/PlannerSpeed.h"

#include "RecordCore/Planner.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <optional>

namespace vi::Planner::detail {

namespace {

using Reason = SpeedSegment::Reason;

// The detector judges source time in quarter seconds.
constexpr double slotLength = 0.25;
// Below this changing fraction of the screen, a slot counts as a still screen.
constexpr double quietEnergy = 0.0035;
// Input this close before or after a slot still counts as the user working in it.
constexpr double inputMargin = 0.5;
// Pointer movement below this (normalised, per axis) is hand tremor, not work.
constexpr double pointerMoveThreshold = 0.004;
// Shorter waits are not worth a speed-up: an agent's work needs longer to be a wait.
constexpr double shortestIdleRun = 3.0;
constexpr double shortestAgentRun = 4.0;
// Real-time ramps into and out of a speed-up, so the viewer sees it coming and leaving.
constexpr double rampIn = 0.4;
constexpr double rampOut = 0.5;
// A still screen plays through in about 0.8 s of output, never slower than x6; an agent's work in
// about 2.5 s, never slower than x3, so its progress stays readable.
constexpr double idleOutputSeconds = 0.8;
constexpr double idleSlowest = 6;
constexpr double agentOutputSeconds = 2.5;
constexpr double agentSlowest = 3;
// A speed cap below this would not be a speed-up.
constexpr double lowestSpeedCap = 2.0;

struct Run {
    Reason kind;
    double start;
    double end;
};

Reason classify(double t0, double t1, double energy, const InputLog* log) {
    const bool quiet = energy < quietEnergy;
    if (log == nullptr) return quiet ? Reason::idle : Reason::normal;
    const auto active = [&] { return log->userActive(t0 - inputMargin, t1 + inputMargin, pointerMoveThreshold); };
    if (log->keysTracked.value_or(true)) {
        if (active()) return Reason::normal;
        return quiet ? Reason::idle : Reason::agentWorking;
    }
    // Without key presses a changing screen under a resting pointer may be the user typing.
    if (!quiet) return Reason::normal;
    return active() ? Reason::normal : Reason::idle;
}

std::vector<Run> runsOfSlots(double duration, const std::vector<ActivitySample>& samples, const InputLog* log) {
    const auto slots = static_cast<std::size_t>(std::ceil(duration / slotLength));
    std::vector<Run> runs;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < slots; ++i) {
        const double t0 = static_cast<double>(i) * slotLength;
        const double t1 = t0 + slotLength;
        double energy = 0;
        for (; cursor < samples.size() && samples[cursor].t < t1; ++cursor) {
            if (samples[cursor].t >= t0) energy = std::max(energy, samples[cursor].energy);
        }
        const Reason kind = classify(t0, t1, energy, log);
        const double end = std::min(t1, duration);
        const bool normal = kind == Reason::normal;
        if (!runs.empty() && (runs.back().kind == Reason::normal) == normal) {
            runs.back().end = end;
            if (kind == Reason::agentWorking) runs.back().kind = Reason::agentWorking;
        } else {
            runs.push_back({kind, t0, end});
        }
    }
    return runs;
}

// Appends real time, merged into a real-time segment just before it.
void addNormal(std::vector<SpeedSegment>& segments, double a, double b) {
    if (!(b - a > emptyLength)) return;
    if (!segments.empty() && segments.back().speed == 1.0 && segments.back().reason == Reason::normal) {
        segments.back().end = b;
    } else {
        segments.push_back({a, b, 1.0, Reason::normal});
    }
}

double fastSpeed(Reason kind, double length, double cap) {
    const double speed = kind == Reason::idle ? std::min(std::max(length / idleOutputSeconds, idleSlowest), cap)
                                              : std::min(std::max(length / agentOutputSeconds, agentSlowest), cap);
    return std::round(speed); // halves away from zero
}

bool overlaps(const TimeRange& r, double start, double end) { return r.end > start && end > r.start; }

// Sorted by start and pairwise apart (each ends at or before the next starts), as the project's
// removed ranges are.
bool sortedApart(const std::vector<TimeRange>& ranges) {
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (!(ranges[i].start < ranges[i].end)) return false;
        if (i + 1 < ranges.size() && !(ranges[i].end <= ranges[i + 1].start)) return false;
    }
    return true;
}

// Splits `piece` around `r` (which overlaps it): the part before, the cut, and the part after,
// which is returned so that later ranges can cut it again.
std::optional<SpeedSegment> cutOut(const SpeedSegment& piece, const TimeRange& r, std::vector<SpeedSegment>& out) {
    if (r.start > piece.start) out.push_back({piece.start, r.start, piece.speed, piece.reason});
    out.push_back({std::max(piece.start, r.start), std::min(r.end, piece.end), 1.0, Reason::cut});
    if (piece.end > r.end) return SpeedSegment{r.end, piece.end, piece.speed, piece.reason};
    return std::nullopt;
}

// Any ranges: every range is laid over the pieces the earlier ranges left, in order.
void removeFromSegment(const std::vector<TimeRange>& removed, const SpeedSegment& segment,
                       std::vector<SpeedSegment>& out) {
    std::vector<SpeedSegment> pieces{segment};
    std::vector<SpeedSegment> rebuilt;
    for (const TimeRange& r : removed) {
        if (!overlaps(r, segment.start, segment.end)) continue;
        rebuilt.clear();
        for (const SpeedSegment& piece : pieces) {
            if (piece.reason == Reason::cut || !overlaps(r, piece.start, piece.end)) {
                rebuilt.push_back(piece);
            } else if (auto after = cutOut(piece, r, rebuilt)) {
                rebuilt.push_back(*after);
            }
        }
        pieces.swap(rebuilt);
    }
    out.insert(out.end(), pieces.begin(), pieces.end());
}

// Sorted ranges that are apart: each range can only overlap what the ranges before it left at the
// segment's end, so one pass gives the same pieces as laying every range over every piece.
void removeSortedFromSegment(const std::vector<TimeRange>& removed, const SpeedSegment& segment,
                             std::vector<SpeedSegment>& out) {
    if (segment.reason == Reason::cut) {
        out.push_back(segment);
        return;
    }
    // The first range that ends after the segment starts; ends ascend because the ranges are apart.
    auto r = std::partition_point(removed.begin(), removed.end(),
                                  [&](const TimeRange& range) { return range.end <= segment.start; });
    std::optional<SpeedSegment> rest = segment;
    for (; rest && r != removed.end() && r->start < segment.end; ++r) {
        if (overlaps(*r, rest->start, rest->end)) rest = cutOut(*rest, *r, out);
    }
    if (rest) out.push_back(*rest);
}

template <typename Timed>
bool inTimeOrder(const std::vector<Timed>& items) {
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (!(items[i - 1].t <= items[i].t)) return false; // also catches a time that is not a number
    }
    return true;
}

// The items with a time, in time order (ties in their order). An item whose time is not a number
// lies in no window, so leaving it out changes no answer.
template <typename Timed>
std::vector<Timed> timeOrdered(const std::vector<Timed>& items) {
    std::vector<Timed> out;
    out.reserve(items.size());
    std::copy_if(items.begin(), items.end(), std::back_inserter(out), [](const Timed& item) { return !std::isnan(item.t); });
    std::stable_sort(out.begin(), out.end(), [](const Timed& a, const Timed& b) { return a.t < b.t; });
    return out;
}

// A recorded log is in time order, and then its activity questions are answered by binary
// search. A log that is not (only a hand-edited file holds one) would be walked whole for each of
// the four questions per second, which for a long recording never ends in practice: it is put in
// time order once instead, a copy made for this call.
std::optional<InputLog> timeOrderedCopy(const InputLog* log) {
    if (log == nullptr || (inTimeOrder(log->cursor()) && inTimeOrder(log->events()))) return std::nullopt;
    return InputLog(timeOrdered(log->cursor()), timeOrdered(log->events()), log->keysTracked, log->cursorInVideo,
                    log->cameraOffset);
}

} // namespace

double plannable(double duration) {
    if (!std::isfinite(duration)) return 0;
    return std::min(duration, longestSource);
}

std::vector<SpeedSegment> speedSegments(double duration, const std::vector<ActivitySample>& samples,
                                        const InputLog* log, double maxSpeed) {
    duration = plannable(duration);
    if (!(duration > 0)) return {};
    const double cap = maxSpeed > lowestSpeedCap ? maxSpeed : lowestSpeedCap;

    const std::optional<InputLog> ordered = timeOrderedCopy(log);
    std::vector<Run> runs = runsOfSlots(duration, samples, ordered ? &*ordered : log);
    for (Run& run : runs) {
        const double shortest = run.kind == Reason::idle ? shortestIdleRun : shortestAgentRun;
        if (run.kind != Reason::normal && run.end - run.start < shortest) run.kind = Reason::normal;
    }

    std::vector<SpeedSegment> segments;
    for (const Run& run : runs) {
        if (run.kind == Reason::normal) {
            addNormal(segments, run.start, run.end);
            continue;
        }
        const double fastStart = run.start + rampIn;
        const double fastEnd = run.end - rampOut;
        const double length = fastEnd - fastStart;
        addNormal(segments, run.start, fastStart);
        if (length > emptyLength) segments.push_back({fastStart, fastEnd, fastSpeed(run.kind, length, cap), run.kind});
        addNormal(segments, fastEnd, run.end);
    }
    return segments;
}

std::vector<SpeedSegment> fill(const std::vector<SpeedBlock>& blocks, double duration) {
    duration = plannable(duration);
    // A block with a time or speed that is not a number has no place in time (and could not be
    // sorted); infinite times are clipped like any other.
    std::vector<const SpeedBlock*> sorted;
    sorted.reserve(blocks.size());
    for (const SpeedBlock& block : blocks) {
        if (!std::isnan(block.start) && !std::isnan(block.end) && !std::isnan(block.speed)) sorted.push_back(&block);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const SpeedBlock* a, const SpeedBlock* b) { return a->start < b->start; });

    std::vector<SpeedSegment> segments;
    double covered = 0;
    for (const SpeedBlock* block : sorted) {
        const double start = std::max(covered, std::min(duration, block->start));
        const double end = std::min(block->end, duration);
        if (end <= start + emptyLength) continue;
        if (start > covered) segments.push_back({covered, start, 1.0, Reason::normal});
        segments.push_back({start, end, std::max(block->speed, slowestBlockSpeed), block->reason});
        covered = end;
    }
    if (duration > covered) segments.push_back({covered, duration, 1.0, Reason::normal});
    return segments;
}

std::vector<SpeedSegment> remove(const std::vector<TimeRange>& removed, const std::vector<SpeedSegment>& segments) {
    if (removed.empty()) return segments;
    const bool sorted = sortedApart(removed);
    std::vector<SpeedSegment> out;
    out.reserve(segments.size() + 2 * removed.size());
    for (const SpeedSegment& segment : segments) {
        if (sorted) {
            removeSortedFromSegment(removed, segment, out);
        } else {
            removeFromSegment(removed, segment, out);
        }
    }
    std::erase_if(out, [](const SpeedSegment& s) { return s.end - s.start <= emptyLength; });
    return out;
}

std::vector<SpeedSegment> hold(std::vector<SpeedSegment> segments, bool atStart, double seconds) {
    const auto kept = [](const SpeedSegment& s) { return s.reason != Reason::cut; };
    std::vector<SpeedSegment>::iterator target;
    if (atStart) {
        target = std::find_if(segments.begin(), segments.end(), kept);
    } else {
        auto last = std::find_if(segments.rbegin(), segments.rend(), kept);
        target = last == segments.rend() ? segments.end() : std::prev(last.base());
    }
    if (target == segments.end() || target->length() <= shortestHeldSegment) return segments;

    const SpeedSegment g = *target;
    const double holdSpeed = holdPiece / seconds;
    if (atStart) {
        *target = {g.start, g.start + holdPiece, holdSpeed, Reason::hold};
        segments.insert(target + 1, {g.start + holdPiece, g.end, g.speed, g.reason});
    } else {
        *target = {g.start, g.end - holdPiece, g.speed, g.reason};
        segments.insert(target + 1, {g.end - holdPiece, g.end, holdSpeed, Reason::hold});
    }
    return segments;
}

} // namespace vi::Planner::detail
