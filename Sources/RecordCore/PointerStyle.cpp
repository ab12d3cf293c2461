#include "RecordCore/PointerStyle.h"

namespace vi {

PointerStyle PointerStyle::of(const Project& project) { return {project.cursorStyle, project.clickEffect}; }

} // namespace vi
