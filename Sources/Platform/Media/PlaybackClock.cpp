#include "Platform/Media/PlaybackClock.h"

namespace vi::media {

void SteadyPlaybackClock::begin(double seconds, double rate) {
    std::lock_guard lock(mutex_);
    origin_ = seconds;
    rate_ = rate > 0 ? rate : 0;
    started_ = Clock::now();
}

void SteadyPlaybackClock::halt() {
    std::lock_guard lock(mutex_);
    origin_ = nowLocked();
    rate_ = 0;
}

double SteadyPlaybackClock::now() const {
    std::lock_guard lock(mutex_);
    return nowLocked();
}

double SteadyPlaybackClock::rate() const {
    std::lock_guard lock(mutex_);
    return rate_;
}

double SteadyPlaybackClock::nowLocked() const {
    if (rate_ == 0) return origin_;
    return origin_ + std::chrono::duration<double>(Clock::now() - started_).count() * rate_;
}

} // namespace vi::media
