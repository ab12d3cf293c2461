#pragma once

#include <cstdint>

namespace vi::capture {

// The one time axis shared by screen frames, sound and input events: the monotonic clock,
// which never jumps with wall-clock changes and is what the kernel stamps V4L2 buffers with.
namespace HostClock {

// Seconds since an arbitrary fixed point (boot).
double now();
// The same instant in nanoseconds, for schedules that must not accumulate rounding.
std::int64_t nowNanoseconds();
// Sleeps until the given nanosecond time on this clock (returns at once when it has passed).
void sleepUntil(std::int64_t nanoseconds);

inline double toSeconds(std::int64_t nanoseconds) { return static_cast<double>(nanoseconds) * 1e-9; }

} // namespace HostClock

} // namespace vi::capture
