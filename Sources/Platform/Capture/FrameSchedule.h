#pragma once

#include <cstdint>

namespace vi::capture {

// Frame deadlines on an absolute grid: tick n is due at start + n / fps, computed from n rather
// than by adding periods, so rounding never accumulates and a slow tick does not shift the rest.
// A tick that comes too late to be useful is skipped instead of being caught up in a burst.
class FrameSchedule {
public:
    FrameSchedule(std::int64_t startNanoseconds, int fps);

    // When the current tick is due.
    std::int64_t due() const { return dueAt(tick_); }
    // Moves to the next tick that is still in the future at `nowNanoseconds` (at least one step).
    // Returns how many ticks were skipped because they were already over.
    std::int64_t advance(std::int64_t nowNanoseconds);
    std::int64_t tick() const { return tick_; }

private:
    std::int64_t dueAt(std::int64_t tick) const;

    std::int64_t start_;
    int fps_;
    std::int64_t tick_ = 0;
};

} // namespace vi::capture
