#pragma once

#include "Platform/Media/FrameSink.h"
#include "Platform/Media/PlaybackClock.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

namespace vi::test {

// A frame sink that keeps every frame a player presents, with the output time it was given and
// the player clock's reading (when it was told the clock) at that moment.
class RecordingSink final : public media::FrameSink {
public:
    struct Shown {
        media::PixelBuffer picture;
        double time = 0;     // output time the frame was presented for
        double clockAt = -1; // the clock's reading when it arrived (-1 without a clock)
        std::chrono::steady_clock::time_point arrived;
    };

    void watch(const media::PlaybackClock* clock);
    void present(const media::PixelBuffer& frame, media::MediaTime time) override;

    std::vector<Shown> frames() const;
    size_t count() const;
    std::optional<Shown> last() const;
    void clear();
    // Waits up to `timeout` until at least `count` frames have arrived.
    bool waitFor(size_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    const media::PlaybackClock* clock_ = nullptr;
    std::vector<Shown> frames_;
};

} // namespace vi::test
