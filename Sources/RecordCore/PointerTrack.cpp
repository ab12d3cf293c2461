#include "RecordCore/PointerTrack.h"

#include "RecordCore/CameraPath.h"
#include "RecordCore/PlanCuts.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace vi {

namespace {

using Kind = InputLog::Event::Kind;

// For each sample, the time of the last sample that moved; the first sample counts from 0.
std::vector<double> lastMovements(const std::vector<CursorSample>& samples) {
    std::vector<double> lastMove(samples.size(), 0.0);
    for (std::size_t k = 1; k < samples.size(); ++k) {
        const double moved = std::abs(samples[k].x - samples[k - 1].x) + std::abs(samples[k].y - samples[k - 1].y);
        lastMove[k] = moved > PointerTrack::moveThreshold ? samples[k].t : lastMove[k - 1];
    }
    return lastMove;
}

// The last sample at or before `source`, or the first when `source` lies before all of them.
std::size_t sampleAt(const std::vector<CursorSample>& samples, double source) {
    std::size_t lo = 0;
    std::size_t hi = samples.size() - 1;
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        if (source >= samples[mid].t) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}

} // namespace

std::optional<PointerTrack> PointerTrack::make(const InputLog& log, const Plan& plan, const Project& project,
                                               double fps_) {
    const std::vector<CursorSample>& samples = log.cursor();
    if (log.cursorInVideo != false || samples.size() < 2) return std::nullopt;

    PointerTrack track;
    track.fps = CameraPath::usableFps(fps_);
    const double fps = track.fps;
    const std::vector<double> lastMove = lastMovements(samples);
    const std::size_t n = CameraPath::frameCount(plan.outputDuration(), fps);

    const double h = 1 / fps;
    const double decay = std::exp(-springRate * h);
    const double alpha = std::min(fadeRate / fps, 1.0);
    double px = samples[0].x;
    double py = samples[0].y;
    double vx = 0;
    double vy = 0;
    double opacity = 1;
    SourceTimeCursor clock(plan);
    track.points.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double source = clock.sourceTime(static_cast<double>(i) / fps);
        const std::size_t k = sampleAt(samples, source);
        const std::size_t j = std::min(k + 1, samples.size() - 1);
        const CursorSample& a = samples[k];
        const CursorSample& b = samples[j];
        const double f = b.t > a.t ? std::clamp((source - a.t) / (b.t - a.t), 0.0, 1.0) : 0.0;
        const double gx = a.x + (b.x - a.x) * f;
        const double gy = a.y + (b.y - a.y) * f;

        if (i > 0 && project.cursorSmooth) {
            // The exact solution of a critically damped spring over one frame.
            const double dx = px - gx;
            const double dy = py - gy;
            const double ax = springRate * dx + vx;
            const double ay = springRate * dy + vy;
            px = gx + (dx + ax * h) * decay;
            py = gy + (dy + ay * h) * decay;
            vx = (vx - springRate * ax * h) * decay;
            vy = (vy - springRate * ay * h) * decay;
        } else {
            px = gx;
            py = gy;
        }

        const double target = project.hideIdleCursor && source - lastMove[k] > idleSeconds ? 0.0 : 1.0;
        opacity += (target - opacity) * alpha;
        track.points.push_back({px, py, opacity});
    }

    for (const InputLog::Event& event : log.events()) {
        if (event.kind != Kind::click && event.kind != Kind::rightClick) continue;
        if (!event.x || !event.y) continue;
        if (removedByCut(plan, event.t)) continue;
        track.clicks.push_back({plan.outputTime(event.t), *event.x, *event.y});
    }
    return track;
}

FrameState::Pointer PointerTrack::state(double outputTime) const {
    const double last = static_cast<double>(points.size() - 1);
    // Clamped while still a double (a time that is not a number takes the first point).
    const double frame = std::round(outputTime * fps);
    const std::size_t i = frame > 0 ? static_cast<std::size_t>(std::min(frame, last)) : 0;
    return points[i];
}

std::vector<FrameState::Ripple> PointerTrack::ripples(double outputTime) const {
    std::vector<FrameState::Ripple> alive;
    for (const Click& click : clicks) {
        const double age = outputTime - click.t;
        if (age >= 0 && age < clickLife) alive.push_back({click.x, click.y, age / clickLife});
    }
    return alive;
}

} // namespace vi
