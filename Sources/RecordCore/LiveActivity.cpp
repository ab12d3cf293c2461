#include "RecordCore/LiveActivity.h"

#include "RecordCore/ActivityAnalyzer.h"

#include <cmath>

namespace vi {

namespace {
// Frame times that miss the next due time by no more than this still count as due.
constexpr double dueTolerance = 0.000001;
} // namespace

LiveActivity::LiveActivity()
    : current_(static_cast<std::size_t>(gridW) * gridH, 0), masks_(static_cast<std::size_t>(cols) * rows)
{
}

void LiveActivity::add(const PixelView& frame, double t)
{
    // A frame without a finite time cannot be placed among the others; skipping it keeps the
    // schedule of due times intact.
    if (!std::isfinite(t) || t + dueTolerance < nextT_) {
        return;
    }
    nextT_ = t + 1.0 / measuresPerSecond;
    ActivityAnalyzer::lumaGrid(frame, gridW, gridH, current_);
    times_.push_back(t);
    const auto mask = masks_.appendUnchanged();
    if (!previous_.empty()) {
        ActivityAnalyzer::changedCells(previous_, current_, cols, rows, mask);
    }
    previous_ = current_;
}

std::vector<ActivitySample> LiveActivity::samples() const
{
    return ActivityAnalyzer::summarize(times_, masks_, cols, rows, window);
}

} // namespace vi
