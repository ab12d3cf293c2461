#include "RecordCore/PlanCuts.h"

namespace vi {

bool removedByCut(const Plan& plan, double source) {
    if (plan.segments.empty()) return false;
    for (const SpeedSegment& segment : plan.segments) {
        if (segment.start <= source && source < segment.end) return segment.reason == SpeedSegment::Reason::cut;
    }
    return plan.segments.back().reason == SpeedSegment::Reason::cut;
}

} // namespace vi
