#pragma once

#include "RecordCore/Plan.h"

namespace vi {

// Whether a source time lies in footage the edit removes: inside one of the plan's cut
// segments (start inclusive, end exclusive), or outside all segments when the plan's last
// segment is a cut (a trimmed end). Clicks and spoken words at such times are not drawn.
// `Plan::segment` alone cannot tell, as it answers a time inside a cut with the last segment.
bool removedByCut(const Plan& plan, double source);

} // namespace vi
