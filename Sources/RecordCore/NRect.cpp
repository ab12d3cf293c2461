#include "RecordCore/NRect.h"

#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace vi {

NRect NRect::united(const NRect& o) const {
    const double left = std::min(x, o.x);
    const double top = std::min(y, o.y);
    const double right = std::max(maxX(), o.maxX());
    const double bottom = std::max(maxY(), o.maxY());
    return {left, top, right - left, bottom - top};
}

NRect NRect::clampedToUnit() const {
    const double cw = std::min(w, 1.0);
    const double ch = std::min(h, 1.0);
    return {std::min(std::max(x, 0.0), 1.0 - cw), std::min(std::max(y, 0.0), 1.0 - ch), cw, ch};
}

bool NRect::contains(const NRect& o) const {
    constexpr double e = containsTolerance;
    return o.x >= x - e && o.y >= y - e && x + w + e >= o.x + o.w && y + h + e >= o.y + o.h;
}

bool NRect::contains(double px, double py) const { return x <= px && px <= x + w && y <= py && py <= y + h; }

NRect NRect::scaled(double s) const {
    const double sw = w * s;
    const double sh = h * s;
    return {midX() - sw * 0.5, midY() - sh * 0.5, sw, sh};
}

void to_json(nlohmann::json& j, const NRect& r) {
    j = nlohmann::json{{"x", coding::finite(r.x, "x")},
                       {"y", coding::finite(r.y, "y")},
                       {"w", coding::finite(r.w, "w")},
                       {"h", coding::finite(r.h, "h")}};
}

void from_json(const nlohmann::json& j, NRect& r) {
    coding::object(j, "a rectangle");
    r = NRect(coding::number(j, "x"), coding::number(j, "y"), coding::number(j, "w"), coding::number(j, "h"));
}

} // namespace vi
