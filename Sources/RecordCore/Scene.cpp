#include "RecordCore/Scene.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace vi {

namespace {

using Reason = SpeedSegment::Reason;

// The pointer dips while a click is young: by up to this fraction of its size per unit of the
// project's bounce, over the first part of the click effect's life.
constexpr double bounceDepth = 0.22;
constexpr double bounceLife = 0.55;
// The camera bubble makes room for a zoomed view: it starts shrinking at this zoom, reaches its
// smallest size `zoomRoomSpan` later, and then is smaller by `roomShrink`.
constexpr double zoomRoomStart = 1.05;
constexpr double zoomRoomSpan = 0.45;
constexpr double roomShrink = 0.24;
// Guards the zoom against a view of zero width.
constexpr double narrowestView = 0.0001;

int roundedSpeed(double speed) {
    const double rounded = std::round(speed);
    return rounded < double(INT_MAX) ? int(rounded) : INT_MAX;
}

std::optional<FrameState::Pill> pill(const std::optional<SpeedSegment>& segment, double source) {
    if (!segment || segment->reason == Reason::cut || !(segment->speed > 1)) return std::nullopt;
    std::string label = "fast-forward";
    if (segment->reason == Reason::idle || segment->reason == Reason::agentWorking) {
        const double wait = segment->end - segment->start;
        label = wait >= Scene::namedWait ? "skipping " + Scene::clock(wait) + " of waiting" : "skipping the wait";
    }
    const double fromEdge = std::min(source - segment->start, segment->end - source);
    const double opacity = std::min(1.0, fromEdge / segment->speed / Scene::edgeFade);
    return FrameState::Pill{roundedSpeed(segment->speed), std::move(label), opacity};
}

double cameraScale(const Project& project, const Plan& plan, const NRect& view) {
    if (!project.cameraMakeRoom) return 1;
    const double zoom = plan.baseW / std::max(view.w, narrowestView);
    double s = std::min((zoom - zoomRoomStart) / zoomRoomSpan, 1.0);
    s = s > 0 ? s : 0; // also when it is not a number
    return 1 - roomShrink * s * s * (3 - 2 * s);
}

std::optional<FrameState::Caption> caption(const std::vector<CaptionLayout::Line>& lines, double t) {
    for (std::size_t i = lines.size(); i-- > 0;) {
        const CaptionLayout::Line& line = lines[i];
        if (!(line.start <= t)) continue;
        if (t >= line.end) return std::nullopt;
        int word = 0;
        for (std::size_t w = line.words.size(); w-- > 0;) {
            if (line.words[w].start <= t) {
                word = int(w);
                break;
            }
        }
        const double fade = std::min((t - line.start) / Scene::edgeFade, (line.end - t) / Scene::edgeFade);
        return FrameState::Caption{int(i), word, std::clamp(fade, 0.0, 1.0)};
    }
    return std::nullopt;
}

} // namespace

Scene::Scene(Plan plan, Project project, const std::optional<InputLog>& log, double fps)
    : plan_(std::move(plan)), project_(std::move(project)),
      camera_(plan_, fps, project_.motion == "smooth" ? CameraPath::smoothStiffness : CameraPath::focusedStiffness) {
    // The log speaks of the whole recorded frame; the scene works inside the crop.
    const std::optional<InputLog> cropped = project_.cropped(plan_.source, {}, log).log;
    if (cropped) pointer_ = PointerTrack::make(*cropped, plan_, project_, fps);
    if (project_.showCaptions) captions_ = CaptionLayout::lines(project_, plan_);
    outputDuration_ = plan_.outputDuration();
}

FrameState Scene::state(double t) const {
    FrameState state(camera_.view(t));
    const double source = plan_.sourceTime(t);
    state.pill = pill(plan_.segment(source), source);

    if (pointer_) {
        state.pointer = pointer_->state(t);
        const std::vector<FrameState::Ripple> clicks = pointer_->ripples(t);
        state.pointerScale = project_.cursorSize;
        if (!clicks.empty() && project_.clickBounce > 0) {
            double youngest = clicks.front().progress;
            for (const FrameState::Ripple& click : clicks) youngest = std::min(youngest, click.progress);
            const double dip = std::max(0.0, std::sin(std::numbers::pi * std::min(youngest / bounceLife, 1.0)));
            state.pointerScale = project_.cursorSize * (1 - bounceDepth * project_.clickBounce * dip);
        }
        if (project_.clickEffect != "none") state.ripples = clicks;
    }

    state.cameraScale = cameraScale(project_, plan_, state.view);
    state.caption = caption(captions_, t);

    if (project_.showTitle && !project_.title.empty()) {
        state.titleOpacity = t < titleHold ? 1.0 : std::max(0.0, 1 - (t - titleHold) / titleFade);
    }
    if (project_.showEnd && !project_.endTitle.empty()) {
        const double lead = outputDuration_ - endLead;
        state.endOpacity = std::max(std::min((t - lead) / endFade, 1.0), 0.0);
    }
    if (project_.showClock) state.clock = std::max(0.0, source - project_.trimStart);
    return state;
}

std::string Scene::clock(double seconds) {
    // Rounded while still a double and bounded, so that no input reaches an out-of-range
    // conversion; a time that is not a number reads as 0.
    constexpr double longest = 1e12;
    const double rounded = std::round(seconds);
    const long long n = rounded > 0 ? static_cast<long long>(std::min(rounded, longest)) : 0;
    char text[48];
    if (n >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", n / 3600, (n / 60) % 60, n % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", n / 60, n % 60);
    }
    return text;
}

} // namespace vi
