#include "RecordCore/CameraStyle.h"

namespace vi {

std::optional<CameraStyle> CameraStyle::of(const Project& project) {
    if (!project.cameraShow) return std::nullopt;
    return CameraStyle{project.cameraShape, project.cameraSize, project.cameraCorner, project.cameraMirror,
                       project.cameraBorder};
}

} // namespace vi
