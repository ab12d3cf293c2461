#include "RecordCore/Preview.h"

#include "Platform/Media/Asset.h"
#include "RecordCore/CameraStyle.h"
#include "RecordCore/CaptionLook.h"
#include "RecordCore/Cards.h"
#include "RecordCore/Look.h"
#include "RecordCore/PointerStyle.h"
#include "RecordCore/RecordError.h"
#include "RecordCore/Scene.h"
#include "RecordCore/Timeline.h"

#include <cmath>
#include <future>

namespace vi {

std::shared_ptr<const Compositor> Preview::compositor(const Plan& plan, const Project& project, bool hasCamera) {
    const double sourceAspect = double(plan.source.width) / double(plan.source.height);
    return std::make_shared<const Compositor>(outputFormat(project), sourceAspect, Look(project), Cards::of(project),
                                              1.0, plan.crop,
                                              hasCamera ? CameraStyle::of(project) : std::nullopt,
                                              PointerStyle::of(project), CaptionLook::of(project, plan));
}

media::VideoComposition Preview::videoComposition(int trackID, std::optional<int> cameraTrackID, OutputFormat format,
                                                  std::shared_ptr<PreviewRenderer> renderer) {
    media::VideoComposition video;
    const CanvasSize size = format.canvas();
    video.renderWidth = int(std::lround(size.width));
    video.renderHeight = int(std::lround(size.height));
    video.frameRate = frameRate;
    video.requiredTrackIDs = {trackID};
    if (cameraTrackID) video.requiredTrackIDs.push_back(*cameraTrackID);
    video.compose = [trackID, cameraTrackID, renderer](media::VideoCompositionRequest& request) -> media::PixelBuffer {
        const media::PixelBuffer* source = request.frame(trackID);
        if (!source || !request.destination) throw RecordError::readFailed();
        // An empty camera track at this time is no failure: the frame goes without the bubble.
        const media::PixelBuffer* camera = cameraTrackID ? request.frame(*cameraTrackID) : nullptr;
        renderer->render(*source, camera, request.seconds, request.destination);
        return request.destination;
    };
    return video;
}

Preview::Built Preview::build(const std::filesystem::path& source, const Plan& plan, const Project& project,
                              const std::optional<InputLog>& log, const std::optional<std::filesystem::path>& camera,
                              std::shared_ptr<PreviewRenderer> renderer) {
    const media::Asset asset = media::Asset::open(source);
    std::optional<Timeline::CameraInput> cameraInput;
    if (camera) {
        const double offset = log && log->cameraOffset ? *log->cameraOffset : 0.0;
        cameraInput = Timeline::CameraInput{media::Asset::open(*camera), offset};
    }
    auto composition = std::make_shared<const media::Composition>(Timeline::composition(asset, plan, true, cameraInput));
    const auto videoTracks = composition->tracks(media::TrackKind::video);
    if (videoTracks.empty()) throw RecordError::noVideoTrack();
    const int videoTrackID = videoTracks.front()->trackID();
    std::optional<int> cameraTrackID;
    if (cameraInput && videoTracks.size() > 1) cameraTrackID = videoTracks[1]->trackID();

    // The scene and the compositor are independent: made side by side.
    auto scene = std::async(std::launch::async, [&] {
        return std::make_shared<const Scene>(plan, project, log, frameRate);
    });
    auto madeCompositor = compositor(plan, project, cameraTrackID.has_value());
    auto madeScene = scene.get();
    if (renderer) {
        renderer->update(std::move(madeScene), std::move(madeCompositor));
    } else {
        renderer = std::make_shared<PreviewRenderer>(std::move(madeScene), std::move(madeCompositor));
    }
    Built built;
    built.duration = composition->duration();
    built.videoComposition = videoComposition(videoTrackID, cameraTrackID, outputFormat(project), renderer);
    built.composition = std::move(composition);
    built.renderer = std::move(renderer);
    built.videoTrackID = videoTrackID;
    built.cameraTrackID = cameraTrackID;
    return built;
}

} // namespace vi
