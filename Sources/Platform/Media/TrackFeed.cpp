#include "Platform/Media/TrackFeed.h"

#include "Platform/Media/CompositionVideoReader.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>

namespace vi::media {

TrackFeed::TrackFeed(std::shared_ptr<const Composition> composition, int trackID, double fps, int ahead)
    : composition_(std::move(composition)), trackID_(trackID), fps_(fps), ahead_(std::max(ahead, 1)) {
    thread_ = std::thread([this] { run(); });
}

TrackFeed::~TrackFeed() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ++generation_;
    }
    changed_.notify_all();
    thread_.join();
}

void TrackFeed::restart(int64_t first) {
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        next_ = first;
        wanted_ = first;
        frames_.clear();
    }
    changed_.notify_all();
}

std::optional<TrackFeed::Frame> TrackFeed::frame(int64_t index) {
    std::unique_lock lock(mutex_);
    const uint64_t generation = generation_;
    if (index > wanted_) {
        wanted_ = index;
        // Behind: what lies between is not needed by anyone but the slowest worker, whose frame
        // would be shown too late anyway.
        if (next_ < index - ahead_) next_ = index;
        changed_.notify_all();
    }
    changed_.wait(lock, [&] { return quit_ || generation_ != generation || frames_.count(index) > 0 || next_ > index; });
    if (generation_ != generation) return std::nullopt;
    const auto found = frames_.find(index);
    if (found == frames_.end()) return std::nullopt;
    Frame frame = std::move(found->second);
    frames_.erase(found);
    // Frames far behind the furthest asked for will not be asked for in this run.
    frames_.erase(frames_.begin(), frames_.lower_bound(wanted_ - 2 * ahead_));
    changed_.notify_all();
    return frame;
}

void TrackFeed::run() {
    std::unique_ptr<CompositionVideoReader> reader;
    try {
        reader = std::make_unique<CompositionVideoReader>(*composition_, trackID_);
    } catch (const MediaError&) {
        reader.reset();
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        // Read while there is room, and always while a worker waits for a frame not read yet:
        // frames the scheduler passed over can fill the room and are only cleared when a frame
        // is taken, so waiting for room alone could wait for ever.
        changed_.wait(lock, [&] { return quit_ || int64_t(frames_.size()) < ahead_ || next_ <= wanted_; });
        if (quit_) return;
        const int64_t index = next_;
        const uint64_t generation = generation_;
        lock.unlock();
        Frame frame;
        try {
            if (!reader) throw MediaError(MediaErrorKind::invalidArgument, "no such track");
            if (auto shown = reader->frameAt(MediaTime::fromSeconds(double(index) / fps_))) frame.picture = shown->picture;
        } catch (const std::exception&) {
            frame.readFailed = true;
        }
        lock.lock();
        if (generation_ != generation || next_ != index) continue;
        frames_[index] = std::move(frame);
        ++next_;
        changed_.notify_all();
    }
}

} // namespace vi::media
