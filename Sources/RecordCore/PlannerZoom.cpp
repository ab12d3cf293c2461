#include "RecordCore/PlannerZoom.h"

#include "RecordCore/Camera.h"
#include "RecordCore/PlannerClicks.h"
#include "RecordCore/PlannerSpeed.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace vi::Planner::detail {

namespace {

// The finder looks four times a second.
constexpr double stepLength = 0.25;
// A click frames a box of a fifth of the base view round it, for this long either side.
constexpr double clickReach = 0.6;
constexpr double clickBox = 0.2;
constexpr double clickBoxHalf = 0.1;
// The screen's changes are judged from half a second before a step to a second after it.
constexpr double activityBefore = 0.5;
constexpr double activityAfter = 1.0;
// Below this changing fraction of the screen there is nothing to look at.
constexpr double quietEnergy = 0.0035;
// Focus boxes of samples this strong, relative to the window's strongest, make the target.
constexpr double strongShare = 0.35;
// A target box is padded by 30 % and a margin before it is framed.
constexpr double paddingScale = 1.3;
constexpr double paddingMargin = 0.05;
// Zooms smaller than this are not worth the motion: the view only pans.
constexpr double smallestZoom = 1.35;
// A base view this close to the whole source shows all of it.
constexpr double fullSide = 0.999;
// Two views closer than this (centres, and zoom in octaves) count as the same framing.
constexpr double nearCentre = 0.08;
constexpr double nearOctaves = 0.32;
// A new target must hold still this long, and come this long after the last shot, to become a
// shot; its shot starts a little before it first appeared, but never this soon after the last.
constexpr double holdStill = 1.0;
constexpr double shotSpacing = 2.6;
constexpr double leadIn = 0.35;
constexpr double shortestShot = 2.0;
// Without any target for longer than this, the view goes back to the base view.
constexpr double targetlessWait = 2.5;
// Blocks shorter than this are not shown; views this close to centred and unzoomed count as base.
constexpr double shortestBlock = 0.05;
constexpr double centredTolerance = 0.01;
constexpr double unzoomedTolerance = 1.01;
// A block that starts within this of the previous block's end takes over without a return to base.
constexpr double handOver = 0.05;

NRect baseView(BaseSize base) { return {0.5 - base.w * 0.5, 0.5 - base.h * 0.5, base.w, base.h}; }

NRect framedAt(double centreX, double centreY, double z, BaseSize base) {
    return Camera::framed(centreX, centreY, z, base.w, base.h);
}

bool finite(const NRect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.w) && std::isfinite(r.h);
}

bool near(const NRect& a, const NRect& b) {
    return std::abs(a.midX() - b.midX()) < nearCentre && std::abs(a.midY() - b.midY()) < nearCentre
        && std::abs(std::log2(a.w / b.w)) < nearOctaves;
}

// The union of the focus boxes of the window's strong samples; none when the screen is quiet.
std::optional<NRect> activityBox(const std::vector<ActivitySample>& samples, std::size_t first, double until) {
    double strongest = 0;
    std::size_t end = first;
    for (; end < samples.size() && samples[end].t < until; ++end) strongest = std::max(strongest, samples[end].energy);
    if (strongest < quietEnergy) return std::nullopt;
    std::optional<NRect> box;
    for (std::size_t i = first; i < end; ++i) {
        const ActivitySample& s = samples[i];
        if (!s.focus || !(s.energy >= strongShare * strongest)) continue;
        box = box ? box->united(*s.focus) : *s.focus;
    }
    return box;
}

// Turns the jittery per-step targets into a few calm shots.
class Hysteresis {
public:
    explicit Hysteresis(NRect base) : base_(base), current_(base) { shots_.push_back({0, base}); }

    void step(double t, const std::optional<NRect>& target) {
        if (!target) {
            hasCandidate_ = false;
            if (t - lastSeen_ > targetlessWait && current_ != base_ && t - lastShot_ > shortestShot) cut(t, base_);
            return;
        }
        const NRect& v = *target;
        if (near(v, current_)) {
            hasCandidate_ = false;
            lastSeen_ = t;
        } else if (hasCandidate_ && near(candidate_.view, v)) {
            lastSeen_ = t;
            if (t - candidate_.since >= holdStill && t - lastShot_ >= shotSpacing) {
                cut(std::max(candidate_.since - leadIn, lastShot_ + shortestShot), candidate_.view);
                hasCandidate_ = false;
            }
        } else {
            // The candidate keeps the view it was first seen with while it stays near it.
            candidate_ = {v, t};
            hasCandidate_ = true;
            lastSeen_ = t;
        }
    }

    std::vector<Shot> take() { return std::move(shots_); }

private:
    struct Candidate {
        NRect view;
        double since = 0;
    };

    void cut(double start, const NRect& view) {
        shots_.push_back({start, view});
        current_ = view;
        lastShot_ = start;
    }

    NRect base_;
    NRect current_;
    double lastShot_ = 0;
    double lastSeen_ = 0;
    Candidate candidate_{};
    bool hasCandidate_ = false;
    std::vector<Shot> shots_;
};

} // namespace

BaseSize baseSize(double viewportAspect, const SourceInfo& info) {
    const double a = viewportAspect / (static_cast<double>(info.width) / static_cast<double>(info.height));
    // A source without a size (or a window without an aspect) has nothing to fit: show it all.
    if (!std::isfinite(a) || !(a > 0)) return {1, 1};
    if (a >= 1) return {1, 1 / a};
    return {a, 1};
}

std::optional<NRect> frameTarget(const NRect& box, BaseSize base, double cap) {
    const bool full = base.w >= fullSide && base.h >= fullSide;
    const double paddedW = box.w * paddingScale + paddingMargin;
    const double paddedH = box.h * paddingScale + paddingMargin;
    const double need = std::max(paddedW / base.w, paddedH / base.h);
    double z = 1 / need;
    if (z >= 1) z = std::min(z, cap);
    if (z < smallestZoom) z = 1;
    const NRect view = z == 1 && full ? baseView(base) : framedAt(box.x + box.w * 0.5, box.y + box.h * 0.5, z, base);
    // Boxes from a broken file can hold infinities: such a target is no target.
    if (!finite(view)) return std::nullopt;
    return view;
}

std::vector<Target> findTargets(double duration, const std::vector<ActivitySample>& samples, const InputLog* log,
                                BaseSize base, double cap) {
    duration = plannable(duration);
    std::vector<Target> targets;
    if (!(duration > 0)) return targets;
    targets.reserve(static_cast<std::size_t>(std::ceil(duration / stepLength)));

    ClickWindow clicks(log);
    std::size_t cursor = 0; // never moves back
    for (std::size_t i = 0;; ++i) {
        const double t = static_cast<double>(i) * stepLength;
        if (!(t < duration)) break;
        while (cursor < samples.size() && samples[cursor].t < t - activityBefore) ++cursor;

        std::optional<NRect> box;
        const InputLog::Event* click = clicks.last(t - clickReach, t + clickReach);
        if (click != nullptr && click->x && click->y) {
            box = NRect{*click->x - clickBoxHalf * base.w, *click->y - clickBoxHalf * base.h, clickBox * base.w,
                        clickBox * base.h};
        } else {
            box = activityBox(samples, cursor, t + activityAfter);
        }
        targets.push_back({t, box ? frameTarget(*box, base, cap) : std::nullopt});
    }
    return targets;
}

std::vector<Shot> shotsOfTargets(const std::vector<Target>& targets, BaseSize base) {
    Hysteresis hysteresis(baseView(base));
    for (const Target& target : targets) hysteresis.step(target.t, target.view);
    return hysteresis.take();
}

std::vector<Shot> findShots(double duration, const std::vector<ActivitySample>& samples, const InputLog* log,
                            BaseSize base, bool autoZoom, double maxZoom) {
    return shotsOfTargets(findTargets(duration, samples, log, base, autoZoom ? maxZoom : 1.0), base);
}

std::vector<ZoomBlock> blocksOfShots(const std::vector<Shot>& shots, double duration, BaseSize base) {
    std::vector<ZoomBlock> blocks;
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const Shot& shot = shots[i];
        const double end = i + 1 < shots.size() ? shots[i + 1].start : duration;
        const double zoom = base.w / shot.view.w;
        const double cx = shot.view.midX();
        const double cy = shot.view.midY();
        const bool unzoomedCentred = std::abs(cx - 0.5) < centredTolerance && zoom <= unzoomedTolerance
                                  && std::abs(cy - 0.5) < centredTolerance;
        if (end - shot.start > shortestBlock && !unzoomedCentred) blocks.emplace_back(shot.start, end, cx, cy, zoom);
    }
    return blocks;
}

std::vector<Shot> shotsOfBlocks(const std::vector<ZoomBlock>& blocks, BaseSize base) {
    const NRect b = baseView(base);
    // A block with a time that is not a number has no place in time, and one whose place or zoom
    // is not finite cannot be framed.
    std::vector<const ZoomBlock*> sorted;
    sorted.reserve(blocks.size());
    for (const ZoomBlock& block : blocks) {
        if (!std::isnan(block.start) && !std::isnan(block.end) && std::isfinite(block.x) && std::isfinite(block.y)
            && std::isfinite(block.zoom)) {
            sorted.push_back(&block);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const ZoomBlock* x, const ZoomBlock* y) { return x->start < y->start; });

    std::vector<Shot> shots{{0, b}};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const ZoomBlock& block = *sorted[i];
        shots.push_back({block.start, framedAt(block.x, block.y, std::max(block.zoom, 1.0), base)});
        const double next = i + 1 < sorted.size() ? sorted[i + 1]->start : std::numeric_limits<double>::infinity();
        if (next > block.end + handOver) shots.push_back({block.end, b});
    }
    return shots;
}

} // namespace vi::Planner::detail
