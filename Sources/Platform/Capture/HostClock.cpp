#include "Platform/Capture/HostClock.h"

#include <cerrno>
#include <ctime>

namespace vi::capture::HostClock {

namespace {
constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
}

std::int64_t nowNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * nanosecondsPerSecond + ts.tv_nsec;
}

double now() { return toSeconds(nowNanoseconds()); }

void sleepUntil(std::int64_t nanoseconds) {
    timespec target{};
    target.tv_sec = static_cast<time_t>(nanoseconds / nanosecondsPerSecond);
    target.tv_nsec = static_cast<long>(nanoseconds % nanosecondsPerSecond);
    // An absolute deadline: a signal that interrupts the sleep resumes towards the same instant.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
}

} // namespace vi::capture::HostClock
