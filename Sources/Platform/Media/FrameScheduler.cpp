#include "Platform/Media/FrameScheduler.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace vi::media {

namespace {
// The presenter re-reads the clock at least this often while it waits for a frame's time, so
// a clock that drifts from the system clock (the sound card's) is followed closely.
constexpr double kLongestClockWait = 0.004;
// A frame counts as reached when the clock is this close to it: clocks read in whole
// microseconds, frame times are exact.
constexpr double kClockSlack = 1e-6;
// How much the latest frame's making time moves the running estimate workers aim ahead by.
constexpr double kMakeTimeWeight = 0.2;
} // namespace

FrameScheduler::FrameScheduler(Compose compose, FrameSink& sink, const PlaybackClock& clock, double fps,
                               int workers, int ahead)
    : compose_(std::move(compose)), sink_(&sink), clock_(&clock), fps_(fps > 0 ? fps : 60),
      ahead_(std::max(ahead, 1)) {
    for (int i = 0; i < std::max(workers, 1); ++i) workers_.emplace_back([this] { work(); });
    presenter_ = std::thread([this] { presentLoop(); });
}

FrameScheduler::~FrameScheduler() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ++epoch_;
    }
    workAvailable_.notify_all();
    presentable_.notify_all();
    for (auto& worker : workers_) worker.join();
    presenter_.join();
}

void FrameScheduler::restart(Mode mode, int64_t first, int64_t end) {
    {
        std::lock_guard lock(mutex_);
        ++epoch_;
        mode_ = mode;
        next_ = first;
        presentNext_ = first;
        end_ = end;
        whenDone_ = {};
        ready_.clear();
    }
    workAvailable_.notify_all();
    presentable_.notify_all();
    // A presentation already under way finishes before we return; none starts after.
    std::lock_guard wait(presenting_);
}

void FrameScheduler::play(int64_t first, int64_t end, double endSeconds, std::function<void()> finished) {
    restart(Mode::idle, first, first);
    {
        std::lock_guard lock(mutex_);
        mode_ = Mode::play;
        end_ = std::max(end, first);
        endSeconds_ = endSeconds;
        whenDone_ = std::move(finished);
    }
    workAvailable_.notify_all();
    presentable_.notify_all();
}

void FrameScheduler::show(int64_t index, std::function<void()> shown) {
    restart(Mode::idle, index, index);
    {
        std::lock_guard lock(mutex_);
        mode_ = Mode::show;
        end_ = index + 1;
        whenDone_ = std::move(shown);
    }
    workAvailable_.notify_all();
}

void FrameScheduler::stop() { restart(Mode::idle, 0, 0); }

bool FrameScheduler::isCurrent(uint64_t run) const {
    std::lock_guard lock(mutex_);
    return epoch_ == run && !quit_;
}

FrameScheduler::Counts FrameScheduler::counts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

void FrameScheduler::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        workAvailable_.wait(lock, [&] {
            return quit_ || (mode_ != Mode::idle && next_ < end_ && next_ < presentNext_ + ahead_);
        });
        if (quit_) return;
        uint64_t epoch = epoch_;
        if (mode_ == Mode::play) {
            // Aim at the frame that will still be due when this one is made: when making
            // frames falls behind the clock (sped up, a slow machine), the frames between are
            // skipped instead of being made late one after another. The presenter drops them.
            lock.unlock();
            const double now = clock_->now();
            const double rate = clock_->rate();
            lock.lock();
            if (quit_) return;
            if (epoch_ != epoch || mode_ != Mode::play || next_ >= end_) continue;
            // Only once behind (the next frame is due already), so that a long estimate never
            // makes workers skip frames they would have made in time.
            const int64_t dueNow = indexAt(now);
            if (rate > 0 && next_ <= dueNow) {
                const int64_t aim = std::max(dueNow, indexAt(now + rate * makeSeconds_));
                next_ = std::max(next_, std::min(aim, end_ - 1));
            }
        }
        const int64_t index = next_++;
        epoch = epoch_;
        const bool playing = mode_ == Mode::play;
        const bool last = index + 1 >= end_;
        lock.unlock();
        const double seconds = timeOf(index);
        Made made;
        // A frame whose successor is already due would be dropped anyway: spare the work.
        made.late = playing && !last && clock_->now() >= timeOf(index + 1) - kClockSlack;
        const auto started = std::chrono::steady_clock::now();
        if (!made.late) {
            try {
                made.picture = compose_(index, seconds, [this, epoch] { return isCurrent(epoch); });
            } catch (const std::exception&) {
                made.picture = {};
            }
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        lock.lock();
        if (!made.late && made.picture) makeSeconds_ += kMakeTimeWeight * (took - makeSeconds_);
        // A frame the presenter has given up on meanwhile is not kept.
        if (epoch_ != epoch || index < presentNext_) continue;
        ready_[index] = std::move(made);
        presentable_.notify_all();
    }
}

bool FrameScheduler::waitForClock(std::unique_lock<std::mutex>& lock, double seconds, uint64_t epoch) {
    for (;;) {
        if (quit_ || epoch_ != epoch) return false;
        lock.unlock();
        const double now = clock_->now();
        const double rate = clock_->rate();
        lock.lock();
        if (quit_ || epoch_ != epoch) return false;
        if (now >= seconds - kClockSlack) return true;
        const double wall = rate > 0 ? std::min((seconds - now) / rate, kLongestClockWait) : kLongestClockWait;
        presentable_.wait_for(lock, std::chrono::duration<double>(wall));
    }
}

bool FrameScheduler::present(const PixelBuffer& picture, int64_t index, uint64_t epoch) {
    std::lock_guard presenting(presenting_);
    {
        std::lock_guard lock(mutex_);
        if (epoch_ != epoch) return false;
    }
    sink_->present(picture, MediaTime::fromSeconds(timeOf(index)));
    return true;
}

void FrameScheduler::presentLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        presentable_.wait(lock, [&] {
            return quit_ || mode_ == Mode::play || (mode_ == Mode::show && ready_.count(presentNext_) > 0);
        });
        if (quit_) return;
        const uint64_t epoch = epoch_;
        if (mode_ == Mode::play && presentNext_ >= end_) {
            // Every frame has had its turn: the item ends when the clock reaches its end.
            if (!waitForClock(lock, endSeconds_, epoch)) continue;
            mode_ = Mode::idle;
            auto finished = std::move(whenDone_);
            whenDone_ = {};
            lock.unlock();
            if (finished) finished();
            lock.lock();
            continue;
        }
        if (mode_ == Mode::play && ready_.count(presentNext_) == 0) {
            waitForFrameOrGiveUp(lock, epoch);
            continue;
        }
        const int64_t index = presentNext_;
        Made made = std::move(ready_.at(index));
        ready_.erase(index);
        if (mode_ == Mode::show) {
            mode_ = Mode::idle;
            auto shown = std::move(whenDone_);
            whenDone_ = {};
            lock.unlock();
            const bool presented = made.picture && present(made.picture, index, epoch);
            if (presented && shown) shown();
            lock.lock();
            if (epoch_ == epoch) ++(presented ? counts_.presented : counts_.failed);
            continue;
        }
        bool presented = false;
        bool dropped = made.late;
        if (made.picture && waitForClock(lock, timeOf(index), epoch)) {
            const bool last = index + 1 >= end_;
            lock.unlock();
            dropped = !last && clock_->now() >= timeOf(index + 1) - kClockSlack;
            if (!dropped) presented = present(made.picture, index, epoch);
            lock.lock();
        }
        if (epoch_ != epoch) continue;
        if (presented) {
            ++counts_.presented;
        } else if (dropped) {
            ++counts_.dropped;
        } else {
            ++counts_.failed;
        }
        ++presentNext_;
        workAvailable_.notify_all();
    }
}

void FrameScheduler::waitForFrameOrGiveUp(std::unique_lock<std::mutex>& lock, uint64_t epoch) {
    lock.unlock();
    const double now = clock_->now();
    const double rate = clock_->rate();
    lock.lock();
    if (quit_ || epoch_ != epoch || mode_ != Mode::play || presentNext_ >= end_ || ready_.count(presentNext_) > 0)
        return;
    const int64_t index = presentNext_;
    // Past this the frame could only be shown late; the clock never waits for a picture.
    const double hopeless = index + 1 < end_ ? timeOf(index + 1) : endSeconds_;
    if (now < hopeless - kClockSlack) {
        const double wall = rate > 0 ? std::min((hopeless - now) / rate, kLongestClockWait) : kLongestClockWait;
        presentable_.wait_for(lock, std::chrono::duration<double>(std::max(wall, 0.0)));
        return;
    }
    // Give up on every frame before the one due now, made or not.
    int64_t due = now >= endSeconds_ - kClockSlack ? end_ : std::min(indexAt(now), end_ - 1);
    due = std::max(due, index + 1);
    for (int64_t skipped = index; skipped < due; ++skipped) {
        ready_.erase(skipped);
        ++counts_.dropped;
    }
    presentNext_ = due;
    workAvailable_.notify_all();
}

} // namespace vi::media
