#include "RecordCore/ZoomBlock.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {

void to_json(nlohmann::json& j, const ZoomBlock& b) {
    j = nlohmann::json{{"id", b.id.string()},
                       {"start", coding::finite(b.start, "start")},
                       {"end", coding::finite(b.end, "end")},
                       {"x", coding::finite(b.x, "x")},
                       {"y", coding::finite(b.y, "y")},
                       {"zoom", coding::finite(b.zoom, "zoom")}};
}

ZoomBlock zoomBlockFromJson(const nlohmann::json& j) {
    coding::object(j, "a zoom block");
    const auto id = Uuid::parse(coding::text(j, "id"));
    if (!id) throw DocumentError("member \"id\" is not a UUID");
    return ZoomBlock(*id, coding::number(j, "start"), coding::number(j, "end"), coding::number(j, "x"),
                     coding::number(j, "y"), coding::number(j, "zoom"));
}

} // namespace vi
