#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/Composition.h"
#include "RecordCore/Plan.h"

#include <optional>

namespace vi {

// Lays a recording out on output time as its plan plays it: the kept stretches end to end, each
// retimed by its speed, cuts gone. Sound plays only where the plan plays at exactly 1x; sped-up
// stretches are silent. A camera recording goes on a track of its own, placed by its offset and
// padded with empty time, so it stays in step with the screen at every speed.
namespace Timeline {

// The camera recording and where its time 0 lies on the screen recording's time (camera time =
// source time - offset).
struct CameraInput {
    media::Asset asset;
    double offset = 0;
};

// Tracks, in the order added: the recording's video (only with `video` and a source that has
// video), one sound track per sound track of the source, and the camera's video (only with a
// camera that has video). Runs on the caller's thread and keeps no state. Throws the media
// layer's MediaError when a range is refused.
media::Composition composition(const media::Asset& asset, const Plan& plan, bool video,
                               const std::optional<CameraInput>& camera = std::nullopt);

// Times handed to the composition are made from seconds on this timescale.
inline constexpr int32_t timescale = 60000;
// Camera pieces this short or shorter (seconds) are left out; gaps this short are not filled.
inline constexpr double shortestCameraPiece = 0.02;
inline constexpr double shortestCameraGap = 0.001;

} // namespace Timeline

} // namespace vi
