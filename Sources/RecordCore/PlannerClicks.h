#pragma once

#include "RecordCore/InputLog.h"

#include <cstddef>
#include <vector>

namespace vi::Planner::detail {

// The clicks (left and right) of an input log, indexed once so that a forward sweep of time
// windows can ask, at every step, for the last click in the log's order whose time lies in the
// window. The answer is the same as searching the whole log backwards at every step.
class ClickWindow {
public:
    explicit ClickWindow(const InputLog* log);

    // The last click in the log's order with from <= t < to, or null. Windows are expected to
    // move forward (neither end decreasing); one that moves back restarts the sweep.
    const InputLog::Event* last(double from, double to);

private:
    struct Click {
        double t;
        std::size_t order; // position in the log
        const InputLog::Event* event;
    };

    void restart();

    std::vector<Click> clicks_;     // by time, ties in log order
    std::size_t entered_ = 0;       // clicks with t < the window's end
    std::size_t left_ = 0;          // clicks with t < the window's start
    // Clicks inside the window whose log position beats every later-timed one in the window:
    // their log positions fall from front to back, so the front is the answer.
    std::vector<std::size_t> candidates_;
    std::size_t front_ = 0;
    double lastFrom_ = 0;
    double lastTo_ = 0;
    bool started_ = false;
};

} // namespace vi::Planner::detail
