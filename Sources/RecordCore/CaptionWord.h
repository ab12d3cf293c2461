#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace vi {

// One recognised word with its start and end in source seconds.
struct CaptionWord {
    std::string text;
    double start = 0;
    double end = 0;

    bool operator==(const CaptionWord&) const = default;
};

// JSON form: {"text", "start", "end"}, all required.
void to_json(nlohmann::json& j, const CaptionWord& w);
void from_json(const nlohmann::json& j, CaptionWord& w);

} // namespace vi
