#pragma once

#include "RecordCore/Project.h"

#include <string>

namespace vi {

// The texts of the title and end cards a render draws. Whether the end card shows is decided
// per frame, so its texts are always carried.
struct Cards {
    std::string title;
    std::string subtitle;
    std::string endTitle;
    std::string endSubtitle;
    // The title and subtitle are also drawn in the band above the video window (in the formats
    // that have one).
    bool header = false;

    static Cards of(const Project& project);

    bool operator==(const Cards&) const = default;
};

} // namespace vi
