#pragma once

#include "RecordCore/SpeedSegment.h"
#include "RecordCore/Uuid.h"

#include <nlohmann/json_fwd.hpp>

namespace vi {

// A stretch of source time played fast, set by the user (or shown from the automatic planner).
// Times are stored as given: not ordered, not clamped.
struct SpeedBlock {
    Uuid id;
    double start = 0;
    double end = 0;
    double speed = 1;
    SpeedSegment::Reason reason = SpeedSegment::Reason::manual;

    // A new block with a fresh random id.
    SpeedBlock(double start_, double end_, double speed_, SpeedSegment::Reason reason_)
        : id(Uuid::random()), start(start_), end(end_), speed(speed_), reason(reason_) {}
    SpeedBlock(Uuid id_, double start_, double end_, double speed_, SpeedSegment::Reason reason_)
        : id(id_), start(start_), end(end_), speed(speed_), reason(reason_) {}

    bool operator==(const SpeedBlock&) const = default;
};

// JSON form: {"id", "start", "end", "speed", "reason"}, all required.
void to_json(nlohmann::json& j, const SpeedBlock& b);
SpeedBlock speedBlockFromJson(const nlohmann::json& j);

} // namespace vi
