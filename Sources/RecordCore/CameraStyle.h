#pragma once

#include "RecordCore/Project.h"

#include <optional>
#include <string>

namespace vi {

// How the camera bubble looks and where it sits.
struct CameraStyle {
    std::string shape = "circle"; // "circle", "rounded" or "square"
    double size = 0.24;           // side as a fraction of the canvas's shorter side
    std::string corner = "br";    // row letter t, m or b, then column letter l, c or r
    bool mirror = true;
    bool border = false;

    // None when the project hides the camera. Whether a camera recording exists is not checked.
    static std::optional<CameraStyle> of(const Project& project);

    bool operator==(const CameraStyle&) const = default;
};

} // namespace vi
