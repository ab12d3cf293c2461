#include "RecordCore/Plan.h"

#include <algorithm>

namespace vi {

double Plan::outputDuration() const {
    double total = 0;
    for (const SpeedSegment& segment : segments) total += segment.outputLength();
    return total;
}

double Plan::sourceTime(double output) const {
    // A fresh cursor is exactly the walk from the first segment.
    return SourceTimeCursor(*this).sourceTime(output);
}

double Plan::outputTime(double source) const {
    if (segments.empty()) return 0;
    double outputBefore = 0;
    for (const SpeedSegment& segment : segments) {
        if (source >= segment.end) {
            outputBefore += segment.outputLength();
            continue;
        }
        if (segment.reason == SpeedSegment::Reason::cut) return outputBefore;
        return outputBefore + std::max(0.0, source - segment.start) / segment.speed;
    }
    return outputBefore;
}

std::optional<SpeedSegment> Plan::segment(double source) const {
    if (segments.empty()) return std::nullopt;
    for (const SpeedSegment& segment : segments) {
        if (segment.reason != SpeedSegment::Reason::cut && segment.start <= source && source < segment.end) {
            return segment;
        }
    }
    return segments.back();
}

NRect Plan::view(double source) const {
    if (shots.empty()) return baseView();
    if (source < shots.front().start) return shots.front().view;
    for (std::size_t i = 1; i < shots.size(); ++i) {
        if (shots[i].start > source) return shots[i - 1].view;
    }
    return shots.back().view;
}

NRect Plan::baseView() const { return {0.5 - baseW * 0.5, 0.5 - baseH * 0.5, baseW, baseH}; }

double SourceTimeCursor::sourceTime(double output) {
    const std::vector<SpeedSegment>& segments = *segments_;
    if (segments.empty()) return 0;
    // Also restarts after a time that is not a number, which compares false with everything.
    if (!started_ || !(output >= lastOutput_)) {
        index_ = 0;
        outputBefore_ = 0;
    }
    started_ = true;
    lastOutput_ = output;
    for (; index_ < segments.size(); ++index_) {
        const SpeedSegment& segment = segments[index_];
        const double outputEnd = outputBefore_ + segment.outputLength();
        // Strict, so a time on a boundary belongs to the next segment that plays.
        if (outputEnd > output) return segment.start + (output - outputBefore_) * segment.speed;
        outputBefore_ = outputEnd;
    }
    return segments.back().end;
}

} // namespace vi
