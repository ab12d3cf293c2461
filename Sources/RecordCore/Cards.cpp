#include "RecordCore/Cards.h"

namespace vi {

Cards Cards::of(const Project& project) {
    return {project.title, project.subtitle, project.endTitle, project.endSubtitle,
            project.showTitle && !project.title.empty()};
}

} // namespace vi
