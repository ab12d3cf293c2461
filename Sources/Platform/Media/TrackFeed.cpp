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
        latestGeneration_ = ++generation_;
    }
    changed_.notify_all();
    thread_.join();
}

void TrackFeed::replace(std::shared_ptr<const Composition> composition) {
    std::lock_guard lock(mutex_);
    replacement_ = std::move(composition);
}

void TrackFeed::restart(int64_t first) {
    {
        std::lock_guard lock(mutex_);
        latestGeneration_ = ++generation_;
        next_ = first;
        wanted_ = first;
        skipping_ = false;
        restarted_ = true;
        frames_.clear();
    }
    changed_.notify_all();
}

uint64_t TrackFeed::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

std::optional<TrackFeed::Frame> TrackFeed::frame(int64_t index, uint64_t generation) {
    std::unique_lock lock(mutex_);
    if (generation_ != generation) return std::nullopt;
    if (index > wanted_) {
        // A request past the one after the furthest so far: the workers skip frames.
        skipping_ = index > wanted_ + 1 && index > next_;
        wanted_ = index;
    } else if (index >= next_ - 1) {
        skipping_ = false;
    }
    const auto mine = asked_.insert(index);
    changed_.notify_all();
    changed_.wait(lock, [&] { return quit_ || generation_ != generation || frames_.count(index) > 0 || next_ > index; });
    asked_.erase(mine);
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

std::optional<int64_t> TrackFeed::nextToRead() const {
    // The earliest frame a worker waits for that is not read yet; the frames before it are
    // wanted by nobody now, so reading goes straight there.
    const auto waiting = std::find_if(asked_.begin(), asked_.end(),
                                      [&](int64_t index) { return index >= next_ && frames_.count(index) == 0; });
    if (waiting != asked_.end()) return std::max(next_, *waiting);
    // Nobody waits: read ahead while there is room, unless the workers skip frames (the frames
    // read ahead would be passed over).
    if (skipping_ || int64_t(frames_.size()) >= ahead_) return std::nullopt;
    return next_;
}

void TrackFeed::run() {
    // A frame a restart made unwanted is not decoded to the end: the newest seek comes sooner.
    const auto unwanted = [this] { return latestGeneration_.load() != readingGeneration_.load(); };
    std::unique_ptr<CompositionVideoReader> reader;
    try {
        reader = std::make_unique<CompositionVideoReader>(*composition_, trackID_);
        reader->setInterruption(unwanted);
    } catch (const MediaError&) {
        reader.reset();
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        // Read while there is room, and always while a worker waits for a frame not read yet:
        // frames the scheduler passed over can fill the room and are only cleared when a frame
        // is taken, so waiting for room alone could wait for ever.
        changed_.wait(lock, [&] { return quit_ || nextToRead().has_value(); });
        if (quit_) return;
        if (replacement_) {
            composition_ = std::move(replacement_);
            replacement_.reset();
            try {
                if (reader) {
                    reader->setTrack(*composition_, trackID_);
                } else {
                    reader = std::make_unique<CompositionVideoReader>(*composition_, trackID_);
                    reader->setInterruption(unwanted);
                }
            } catch (const MediaError&) {
                reader.reset();
            }
        }
        const int64_t index = *nextToRead();
        next_ = index;
        const uint64_t generation = generation_;
        readingGeneration_ = generation;
        // The first frame after a restart (a seek) is wanted at once; the rest are a run.
        const bool promptly = restarted_;
        restarted_ = false;
        lock.unlock();
        Frame frame;
        try {
            if (!reader) throw MediaError(MediaErrorKind::invalidArgument, "no such track");
            if (auto shown = reader->frameAt(MediaTime::fromSeconds(double(index) / fps_), promptly)) frame.picture = shown->picture;
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
