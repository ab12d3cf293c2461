#pragma once

#include "RecordCore/Plan.h"
#include "RecordCore/Project.h"

#include <optional>
#include <string>
#include <vector>

namespace vi {

// The burned-in captions of one render as the compositor draws them: the words of each line
// (timing stays with the scene), the style, the text size and the distance from the bottom.
struct CaptionLook {
    std::vector<std::vector<std::string>> lines;
    std::string style;  // "clean", "bold", "highlight" or "boxed"
    double size = 0;    // fraction of the canvas height
    double bottom = 0;  // distance of the line from the bottom, fraction of the canvas height

    // None when captions are off or no word finds a place on the plan's output.
    static std::optional<CaptionLook> of(const Project& project, const Plan& plan);

    bool operator==(const CaptionLook&) const = default;
};

} // namespace vi
