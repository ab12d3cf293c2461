#include "RecordCore/CaptionWord.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {

void to_json(nlohmann::json& j, const CaptionWord& w) {
    j = nlohmann::json{{"text", w.text}, {"start", coding::finite(w.start, "start")}, {"end", coding::finite(w.end, "end")}};
}

void from_json(const nlohmann::json& j, CaptionWord& w) {
    coding::object(j, "a caption word");
    w.text = coding::text(j, "text");
    w.start = coding::number(j, "start");
    w.end = coding::number(j, "end");
}

} // namespace vi
