#include "Support/RecordingSink.h"

#include <thread>

namespace vi::test {

void RecordingSink::watch(const media::PlaybackClock* clock) {
    std::lock_guard lock(mutex_);
    clock_ = clock;
}

void RecordingSink::present(const media::PixelBuffer& frame, media::MediaTime time) {
    const media::PlaybackClock* clock = nullptr;
    {
        std::lock_guard lock(mutex_);
        clock = clock_;
    }
    Shown shown{frame, time.seconds(), clock ? clock->now() : -1.0, std::chrono::steady_clock::now()};
    std::lock_guard lock(mutex_);
    frames_.push_back(std::move(shown));
}

std::vector<RecordingSink::Shown> RecordingSink::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

size_t RecordingSink::count() const {
    std::lock_guard lock(mutex_);
    return frames_.size();
}

std::optional<RecordingSink::Shown> RecordingSink::last() const {
    std::lock_guard lock(mutex_);
    if (frames_.empty()) return std::nullopt;
    return frames_.back();
}

void RecordingSink::clear() {
    std::lock_guard lock(mutex_);
    frames_.clear();
}

bool RecordingSink::waitFor(size_t wanted, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (count() < wanted) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace vi::test
