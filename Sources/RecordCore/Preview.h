#pragma once

#include "Platform/Media/Composition.h"
#include "Platform/Media/MediaTime.h"
#include "Platform/Media/VideoComposition.h"
#include "RecordCore/Compositor.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/OutputFormat.h"
#include "RecordCore/Plan.h"
#include "RecordCore/PreviewRenderer.h"
#include "RecordCore/Project.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace vi {

// The preview the editor plays: the recording laid out on output time with every frame composed
// at play time by the export's own pipeline (scene and compositor) through a shared renderer.
namespace Preview {

// What the player is given: the composition with the way its frames are composed.
struct Built {
    std::shared_ptr<const media::Composition> composition;
    media::VideoComposition videoComposition;
    std::shared_ptr<PreviewRenderer> renderer;
    int videoTrackID = 0;
    std::optional<int> cameraTrackID;
    media::MediaTime duration;
};

// The preview's frame rate.
inline constexpr double frameRate = 60;

// Lays out the recording (and the camera recording, placed by the log's camera offset) and makes
// the scene and compositor. With a renderer given, that renderer is updated and returned (a
// callback waiting on it stays). Runs on the caller's thread: long work, for a worker thread.
// Throws the media layer's errors of the layout, and RecordError::noVideoTrack when the
// recording has no video.
Built build(const std::filesystem::path& source, const Plan& plan, const Project& project,
            const std::optional<InputLog>& log, const std::optional<std::filesystem::path>& camera,
            std::shared_ptr<PreviewRenderer> renderer = nullptr);

// The compositor of a preview at scale 1.
std::shared_ptr<const Compositor> compositor(const Plan& plan, const Project& project, bool hasCamera);

// How the player composes the preview: at the format's canvas size (scale 1), 60 frames a
// second, with the recording's track and the camera's (when there is one) required; every frame
// is drawn through the renderer. A frame without the recording's frame fails with
// RecordError::readFailed; one without a camera frame is drawn without the bubble.
media::VideoComposition videoComposition(int trackID, std::optional<int> cameraTrackID, OutputFormat format,
                                         std::shared_ptr<PreviewRenderer> renderer);

} // namespace Preview

} // namespace vi
