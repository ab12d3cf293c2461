#include "RecordCore/CameraPath.h"

#include "RecordCore/Camera.h"

#include <algorithm>
#include <cmath>

namespace vi {

double CameraPath::usableFps(double fps) { return std::isfinite(fps) && fps > 0 ? fps : fallbackFps; }

std::size_t CameraPath::frameCount(double outputDuration, double fps) {
    const double frames = std::ceil(outputDuration * fps) + 1;
    // Compared as doubles first, so no out-of-range value reaches the integer conversion.
    if (!(frames >= 1)) return 1;
    if (frames >= static_cast<double>(maxFrames)) return maxFrames;
    return static_cast<std::size_t>(frames);
}

CameraPath::CameraPath(const Plan& plan, double fps_, double stiffness) : fps(usableFps(fps_)) {
    const std::size_t n = frameCount(plan.outputDuration(), fps);
    views.reserve(n);

    Camera camera(plan.view(0), plan.baseW, plan.baseH, stiffness);
    const double dt = 1 / fps;
    const double decay = Camera::decay(stiffness, dt);
    SourceTimeCursor clock(plan);
    const std::vector<Shot>& shots = plan.shots;

    // Source time only grows with output time and shots are ordered by start, so a shot cursor
    // that never moves back finds the same target as `plan.view(source)`. The target's spring
    // coordinates change only with the shot, so they are worked out once per shot.
    std::size_t shot = 0;
    Camera::Goal goal = camera.goal(shots.empty() ? plan.baseView() : shots.front().view);
    for (std::size_t i = 0; i < n; ++i) {
        const double source = clock.sourceTime(static_cast<double>(i) / fps);
        bool moved = false;
        while (shot + 1 < shots.size() && shots[shot + 1].start <= source) {
            ++shot;
            moved = true;
        }
        if (moved) goal = camera.goal(shots[shot].view);
        camera.advance(goal, dt, decay);
        views.push_back(camera.current());
    }
}

NRect CameraPath::view(double outputTime) const {
    // max(0, NaN) is 0 here, so a time that is not a number shows the first view.
    const double f = std::max(0.0, outputTime * fps);
    const std::size_t last = views.size() - 1;
    // Also catches an infinite time before any integer conversion.
    if (!(f < static_cast<double>(last))) return views[last];
    const auto i = static_cast<std::size_t>(f);
    const double along = f - static_cast<double>(i);
    const NRect& a = views[i];
    const NRect& b = views[i + 1];
    return {a.x + (b.x - a.x) * along, a.y + (b.y - a.y) * along, a.w + (b.w - a.w) * along,
            a.h + (b.h - a.h) * along};
}

} // namespace vi
