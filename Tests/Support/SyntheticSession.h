#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/SourceInfo.h"

#include <cstdint>
#include <vector>

namespace vi::test {

// The measurements of a made-up coding session, without any video: stretches of the user working
// (typing, clicking, moving the pointer while the screen changes under it), of an agent working
// (the screen changes while input rests) and of plain waiting, in a seeded random order.
struct SyntheticSession {
    SourceInfo info;                     // 1920 x 1080 at 60 fps
    std::vector<ActivitySample> samples; // 15 a second, as the live analysis measures
    InputLog log;                        // pointer at 60 a second, key presses and clicks
    int keyPresses = 0;
    int clicks = 0;
};

SyntheticSession makeSyntheticSession(double seconds, std::uint32_t seed = 1);

} // namespace vi::test
