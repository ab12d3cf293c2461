#include "RecordCore/SpeedBlock.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

#include <string>

namespace vi {

void to_json(nlohmann::json& j, const SpeedBlock& b) {
    j = nlohmann::json{{"id", b.id.string()},
                       {"start", coding::finite(b.start, "start")},
                       {"end", coding::finite(b.end, "end")},
                       {"speed", coding::finite(b.speed, "speed")},
                       {"reason", std::string(SpeedSegment::rawValue(b.reason))}};
}

SpeedBlock speedBlockFromJson(const nlohmann::json& j) {
    coding::object(j, "a speed block");
    const auto id = Uuid::parse(coding::text(j, "id"));
    if (!id) throw DocumentError("member \"id\" is not a UUID");
    const auto reason = SpeedSegment::reasonFromRaw(coding::text(j, "reason"));
    if (!reason) throw DocumentError("member \"reason\" is not a known speed reason");
    return SpeedBlock(*id, coding::number(j, "start"), coding::number(j, "end"), coding::number(j, "speed"), *reason);
}

} // namespace vi
