#pragma once

#include "RecordCore/Project.h"

#include <string>

namespace vi {

// The redrawn pointer's look and its click effect.
struct PointerStyle {
    std::string style = "arrow";   // "arrow", "light", "outline" or "dot"
    std::string effect = "ripple"; // "none", "ripple", "ring" or "spotlight"

    static PointerStyle of(const Project& project);

    bool operator==(const PointerStyle&) const = default;
};

} // namespace vi
