#pragma once

#include <nlohmann/json_fwd.hpp>

namespace vi {

// The facts about a source video that every later stage needs.
struct SourceInfo {
    int width = 0;   // pixels of the upright picture
    int height = 0;
    double duration = 0; // seconds
    double fps = 0;
    bool hasAudio = false;

    double aspect() const { return static_cast<double>(width) / static_cast<double>(height); }

    bool operator==(const SourceInfo&) const = default;
};

// JSON form: {"width", "height", "duration", "fps", "hasAudio"}, all required; width and height
// must be whole numbers within the range of int.
void to_json(nlohmann::json& j, const SourceInfo& info);
void from_json(const nlohmann::json& j, SourceInfo& info);

} // namespace vi
