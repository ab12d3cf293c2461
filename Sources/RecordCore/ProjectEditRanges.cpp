// The project's edit ranges: trims, cuts, splits and pieces, and the crop.
#include "RecordCore/Project.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vi {
namespace {

// Sorts by start (stable: equal starts keep their stored order), drops ranges of
// `Project::emptyRangeLength` or less (reversed ones too), and merges overlapping or touching ones.
// A range whose length is not a number counts as empty, so no NaN ever reaches the sort.
std::vector<TimeRange> merged(std::vector<TimeRange> ranges) {
    std::erase_if(ranges, [](const TimeRange& r) { return !(r.length() > Project::emptyRangeLength); });
    std::stable_sort(ranges.begin(), ranges.end(), [](const TimeRange& a, const TimeRange& b) { return a.start < b.start; });
    std::vector<TimeRange> out;
    for (const TimeRange& r : ranges) {
        if (!out.empty() && r.start <= out.back().end) {
            out.back().end = std::max(out.back().end, r.end);
        } else {
            out.push_back(r);
        }
    }
    return out;
}

// The cropped picture's side in pixels: the larger of the floor and source side times crop side,
// truncated; none when that product is no finite number within the range of int.
std::optional<int> croppedSide(int sourceSide, double cropSide) {
    const double product = static_cast<double>(sourceSide) * cropSide;
    if (!std::isfinite(product) || product >= static_cast<double>(INT_MAX) + 1.0 || product <= static_cast<double>(INT_MIN) - 1.0) {
        return std::nullopt;
    }
    return std::max(Project::smallestCroppedPixels, static_cast<int>(product));
}

bool isFinite(const NRect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.w) && std::isfinite(r.h);
}

// A focus box re-expressed inside the crop; none when it only touches or misses the crop.
std::optional<NRect> focusInside(const NRect& focus, const NRect& crop) {
    const double lowX = std::max(focus.x, crop.x);
    const double lowY = std::max(focus.y, crop.y);
    const double highX = std::min(focus.maxX(), crop.maxX());
    const double highY = std::min(focus.maxY(), crop.maxY());
    if (!(lowX < highX && lowY < highY)) return std::nullopt;
    return NRect((lowX - crop.x) / crop.w, (lowY - crop.y) / crop.h, (highX - lowX) / crop.w, (highY - lowY) / crop.h);
}

} // namespace

std::vector<TimeRange> Project::removed(double duration) const {
    std::vector<TimeRange> ranges = cuts;
    if (trimStart > 0) ranges.push_back(TimeRange::stored(0, trimStart));
    if (trimEnd && duration > *trimEnd) ranges.push_back(TimeRange::stored(*trimEnd, duration));
    return merged(std::move(ranges));
}

std::vector<TimeRange> Project::mergedCuts() const { return merged(cuts); }

std::vector<TimeRange> Project::kept(double duration) const {
    const double windowStart = trimStart >= 0 ? trimStart : 0.0; // NaN also starts at 0
    const double windowEnd = trimEnd ? std::min(duration, *trimEnd) : duration;
    std::vector<TimeRange> ranges;
    double c = windowStart;
    for (const TimeRange& cut : mergedCuts()) {
        if (c >= cut.end) continue;
        if (cut.start >= windowEnd) break;
        if (cut.start > c) ranges.emplace_back(c, std::min(windowEnd, cut.start));
        c = std::max(c, cut.end);
    }
    if (windowEnd > c) ranges.emplace_back(c, windowEnd);
    std::erase_if(ranges, [](const TimeRange& r) { return !(r.length() > shortestKeptRange); });
    return ranges;
}

std::vector<TimeRange> Project::pieces(double duration) const {
    std::vector<double> sorted = splits;
    std::erase_if(sorted, [](double s) { return std::isnan(s); }); // a NaN divides nothing
    std::sort(sorted.begin(), sorted.end());
    std::vector<TimeRange> out;
    for (const TimeRange& range : kept(duration)) {
        double c = range.start;
        for (const double x : sorted) {
            if (x > range.start + splitMargin && x < range.end - splitMargin) {
                out.emplace_back(c, x);
                c = x;
            }
        }
        out.emplace_back(c, range.end);
    }
    return out;
}

Project::Cropped Project::cropped(const SourceInfo& info, const std::vector<ActivitySample>& samples,
                                  const std::optional<InputLog>& log) const {
    Cropped unchanged{info, samples, log};
    if (!crop || !(crop->w > smallestCropSide) || !(crop->h > smallestCropSide)) return unchanged;
    // A crop that only a damaged or hand-edited file can hold (not finite, or so large that the
    // picture size leaves the integer range) is ignored rather than clamped.
    const NRect c = *crop;
    if (!isFinite(c)) return unchanged;
    const auto width = croppedSide(info.width, c.w);
    const auto height = croppedSide(info.height, c.h);
    if (!width || !height) return unchanged;

    Cropped out{info, {}, std::nullopt};
    out.info.width = *width;
    out.info.height = *height;
    out.samples.reserve(samples.size());
    for (const ActivitySample& s : samples) {
        if (!s.focus) {
            out.samples.push_back(s);
            continue;
        }
        const auto focus = focusInside(*s.focus, c);
        out.samples.push_back(ActivitySample{s.t, focus ? s.energy : 0.0, focus});
    }
    if (log) out.log = log->reframed(c);
    return out;
}

double Project::sourceAspect(const SourceInfo& info) const {
    const double a = info.aspect();
    if (crop && crop->w > 0 && crop->h > 0) return a * crop->w / crop->h;
    return a;
}

} // namespace vi
