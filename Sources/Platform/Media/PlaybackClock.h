#pragma once

#include <chrono>
#include <mutex>

namespace vi::media {

// The time a player is at, in output seconds: what the viewer sees and hears now. The player
// starts and stops it; frames are presented when it reaches them.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;

    // Runs from `seconds` at `rate` (output seconds per wall second, above 0).
    virtual void begin(double seconds, double rate) = 0;
    // Stops; the time holds where it was.
    virtual void halt() = 0;
    // The time now. Never goes back between a begin and the next begin.
    virtual double now() const = 0;
    // The rate while running, 0 when halted.
    virtual double rate() const = 0;
};

// The clock of a player without sound: the monotonic system clock, scaled by the rate.
class SteadyPlaybackClock final : public PlaybackClock {
public:
    void begin(double seconds, double rate) override;
    void halt() override;
    double now() const override;
    double rate() const override;

private:
    using Clock = std::chrono::steady_clock;
    double nowLocked() const;

    mutable std::mutex mutex_;
    double origin_ = 0;
    double rate_ = 0;
    Clock::time_point started_{};
};

} // namespace vi::media
