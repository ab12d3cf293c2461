#include "RecordCore/TimeRange.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {

void to_json(nlohmann::json& j, const TimeRange& r) {
    j = nlohmann::json{{"start", coding::finite(r.start, "start")}, {"end", coding::finite(r.end, "end")}};
}

void from_json(const nlohmann::json& j, TimeRange& r) {
    coding::object(j, "a time range");
    r = TimeRange::stored(coding::number(j, "start"), coding::number(j, "end"));
}

} // namespace vi
