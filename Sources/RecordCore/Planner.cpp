#include "RecordCore/Planner.h"

#include "RecordCore/PlannerSpeed.h"
#include "RecordCore/PlannerZoom.h"

namespace vi::Planner {

namespace {

// Output seconds the picture stands almost still behind the title and the end card.
constexpr double titleHoldSeconds = 2.2;
constexpr double endHoldSeconds = 2.8;
// Without a project the detector's speed cap is the project's default.
constexpr double defaultMaxSpeed = 40;

const InputLog* pointer(const std::optional<InputLog>& log) { return log ? &*log : nullptr; }

std::vector<SpeedBlock> fastBlocks(const std::vector<SpeedSegment>& segments) {
    std::vector<SpeedBlock> blocks;
    for (const SpeedSegment& segment : segments) {
        if (segment.speed > 1.0) blocks.emplace_back(segment.start, segment.end, segment.speed, segment.reason);
    }
    return blocks;
}

std::vector<SpeedBlock> speedBlocks(const Project& project, const SourceInfo& info,
                                    const std::vector<ActivitySample>& samples, const InputLog* log) {
    if (project.speedBlocks) return *project.speedBlocks;
    if (!project.skipWaiting) return {};
    return fastBlocks(detail::speedSegments(info.duration, samples, log, project.maxSpeed));
}

std::vector<ZoomBlock> zoomBlocks(const Project& project, const SourceInfo& info,
                                  const std::vector<ActivitySample>& samples, const InputLog* log,
                                  detail::BaseSize base) {
    if (project.zoomBlocks) return *project.zoomBlocks;
    if (!project.followAction) return {};
    const std::vector<Shot> shots = detail::findShots(info.duration, samples, log, base, true, project.maxZoom);
    return detail::blocksOfShots(shots, info.duration, base);
}

Plan planCropped(SourceInfo info, const std::vector<ActivitySample>& samples, const InputLog* log,
                 const Project& project, double viewportAspect) {
    info.duration = detail::plannable(info.duration);
    const detail::BaseSize base = detail::baseSize(viewportAspect, info);

    std::vector<SpeedSegment> segments = detail::fill(speedBlocks(project, info, samples, log), info.duration);
    segments = detail::remove(project.removed(info.duration), segments);
    if (project.showTitle && !project.title.empty()) segments = detail::hold(std::move(segments), true, titleHoldSeconds);
    if (project.showEnd && !project.endTitle.empty()) segments = detail::hold(std::move(segments), false, endHoldSeconds);

    std::vector<Shot> shots = detail::shotsOfBlocks(zoomBlocks(project, info, samples, log, base), base);
    return Plan{info, std::move(segments), std::move(shots), base.w, base.h, project.crop};
}

} // namespace

Plan plan(const SourceInfo& info, const std::vector<ActivitySample>& samples, const std::optional<InputLog>& log,
          const Project& project, double viewportAspect) {
    // Without a crop the inputs are used as they are, saving a copy of the whole log per plan.
    if (!project.crop) return planCropped(info, samples, pointer(log), project, viewportAspect);
    const Project::Cropped cropped = project.cropped(info, samples, log);
    return planCropped(cropped.info, cropped.samples, pointer(cropped.log), project, viewportAspect);
}

Plan plan(const SourceInfo& info, const std::vector<ActivitySample>& samples, const std::optional<InputLog>& log,
          const PlanOptions& options) {
    SourceInfo source = info;
    source.duration = detail::plannable(info.duration);
    const detail::BaseSize base = detail::baseSize(options.viewportAspect, source);
    std::vector<SpeedSegment> segments;
    if (options.skipWaiting) {
        segments = detail::speedSegments(source.duration, samples, pointer(log), defaultMaxSpeed);
    } else if (source.duration > detail::emptyLength) {
        segments.push_back({0, source.duration, 1.0, SpeedSegment::Reason::normal});
    }
    std::vector<Shot> shots =
        detail::findShots(source.duration, samples, pointer(log), base, options.autoZoom, options.maxZoom);
    return Plan{source, std::move(segments), std::move(shots), base.w, base.h, std::nullopt};
}

std::vector<SpeedBlock> autoSpeedBlocks(double duration, const std::vector<ActivitySample>& samples,
                                        const std::optional<InputLog>& log, double maxSpeed) {
    return fastBlocks(detail::speedSegments(duration, samples, pointer(log), maxSpeed));
}

std::vector<ZoomBlock> autoZoomBlocks(const SourceInfo& info, const std::vector<ActivitySample>& samples,
                                      const std::optional<InputLog>& log, double viewportAspect, double maxZoom) {
    const double duration = detail::plannable(info.duration);
    const detail::BaseSize base = detail::baseSize(viewportAspect, info);
    const std::vector<Shot> shots = detail::findShots(duration, samples, pointer(log), base, true, maxZoom);
    return detail::blocksOfShots(shots, duration, base);
}

} // namespace vi::Planner
