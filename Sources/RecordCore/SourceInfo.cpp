#include "RecordCore/SourceInfo.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {

void to_json(nlohmann::json& j, const SourceInfo& info) {
    j = nlohmann::json{{"width", info.width},
                       {"height", info.height},
                       {"duration", coding::finite(info.duration, "duration")},
                       {"fps", coding::finite(info.fps, "fps")},
                       {"hasAudio", info.hasAudio}};
}

void from_json(const nlohmann::json& j, SourceInfo& info) {
    coding::object(j, "a source description");
    info.width = coding::wholeNumber(j, "width");
    info.height = coding::wholeNumber(j, "height");
    info.duration = coding::number(j, "duration");
    info.fps = coding::number(j, "fps");
    info.hasAudio = coding::boolean(j, "hasAudio");
}

} // namespace vi
