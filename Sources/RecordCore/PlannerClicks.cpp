#include "RecordCore/PlannerClicks.h"

#include <algorithm>
#include <cmath>

namespace vi::Planner::detail {

ClickWindow::ClickWindow(const InputLog* log) {
    if (log == nullptr) return;
    const std::vector<InputLog::Event>& events = log->events();
    for (std::size_t i = 0; i < events.size(); ++i) {
        const InputLog::Event& event = events[i];
        const bool click = event.kind == InputLog::Event::Kind::click || event.kind == InputLog::Event::Kind::rightClick;
        // A click whose time is not finite lies in no window (and could not be sorted).
        if (click && std::isfinite(event.t)) clicks_.push_back({event.t, i, &event});
    }
    std::stable_sort(clicks_.begin(), clicks_.end(), [](const Click& a, const Click& b) { return a.t < b.t; });
    candidates_.reserve(clicks_.size());
}

void ClickWindow::restart() {
    entered_ = 0;
    left_ = 0;
    candidates_.clear();
    front_ = 0;
}

const InputLog::Event* ClickWindow::last(double from, double to) {
    if (clicks_.empty()) return nullptr;
    if (!started_ || !(from >= lastFrom_) || !(to >= lastTo_)) restart();
    started_ = true;
    lastFrom_ = from;
    lastTo_ = to;

    for (; entered_ < clicks_.size() && clicks_[entered_].t < to; ++entered_) {
        const std::size_t order = clicks_[entered_].order;
        while (candidates_.size() > front_ && clicks_[candidates_.back()].order < order) candidates_.pop_back();
        candidates_.push_back(entered_);
    }
    for (; left_ < entered_ && clicks_[left_].t < from; ++left_) {
    }
    while (front_ < candidates_.size() && candidates_[front_] < left_) ++front_;
    if (front_ == candidates_.size()) return nullptr;
    return clicks_[candidates_[front_]].event;
}

} // namespace vi::Planner::detail
