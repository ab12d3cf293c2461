#include "Platform/Capture/FrameSchedule.h"

#include <stdexcept>

namespace vi::capture {

namespace {
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
}

FrameSchedule::FrameSchedule(std::int64_t startNanoseconds, int fps) : start_(startNanoseconds), fps_(fps) {
    if (fps <= 0) throw std::invalid_argument("frame rate must be positive");
}

std::int64_t FrameSchedule::dueAt(std::int64_t tick) const {
    // Multiply before dividing: tick * 1e9 stays far inside 64 bits for centuries of ticks.
    return start_ + tick * nanosecondsPerSecond / fps_;
}

std::int64_t FrameSchedule::advance(std::int64_t nowNanoseconds) {
    std::int64_t next = tick_ + 1;
    if (dueAt(next) <= nowNanoseconds) {
        // The first tick strictly after now.
        const std::int64_t elapsed = nowNanoseconds - start_;
        next = elapsed * fps_ / nanosecondsPerSecond + 1;
        while (dueAt(next) <= nowNanoseconds) ++next;
    }
    const std::int64_t skipped = next - tick_ - 1;
    tick_ = next;
    return skipped;
}

} // namespace vi::capture
