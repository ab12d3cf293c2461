#include "Platform/Capture/ScreenStream.h"

#include "Platform/Capture/FramePool.h"
#include "Platform/Capture/FrameSchedule.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/ScreenGrabber.h"
#include "Platform/Capture/ShmImage.h"
#include "Platform/Capture/XConnection.h"

#include <pthread.h>

#include <chrono>
#include <vector>

namespace vi::capture {

namespace {
std::chrono::steady_clock::time_point onSteadyClock(std::int64_t hostNanoseconds) {
    // libstdc++'s steady clock is CLOCK_MONOTONIC, the host clock.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(hostNanoseconds));
}
} // namespace

ScreenStream::ScreenStream(const ScreenSource& source, int fps, Delegate delegate, int queueDepth,
                           const char* display)
    : connection_(std::make_shared<XConnection>(display)), fps_(fps), delegate_(std::move(delegate)) {
    grabber_ = std::make_unique<ScreenGrabber>(connection_, source);
    width_ = grabber_->width();
    height_ = grabber_->height();
    pool_ = FramePool::make(connection_, width_, height_, queueDepth);
    // Validates the rate before any thread exists.
    FrameSchedule check(0, fps);
    warmPool();
}

void ScreenStream::warmPool() {
    // The first read into a fresh shared buffer maps its pages on both sides of the connection, which
    // at 1080p takes most of a 60 fps frame's time. Paid here, before the schedule starts, so that no
    // tick comes late because a buffer is used for the first time.
    std::vector<ShmImage*> images;
    while (auto* image = pool_->acquire()) {
        grabber_->grab(*image);
        images.push_back(image);
    }
    for (auto* image : images) pool_->giveBack(image);
}

ScreenStream::~ScreenStream() {
    stop();
    // The grabber's cleanup requests go out on the connection before it closes; the pool may live on
    // in frames a consumer still holds.
    grabber_.reset();
}

void ScreenStream::start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { run(); });
}

void ScreenStream::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    accepting_ = false;
    posted_.clear();
}

void ScreenStream::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) return;
        posted_.push_back(std::move(work));
    }
    wake_.notify_all();
}

bool ScreenStream::runPosted(std::unique_lock<std::mutex>& lock) {
    bool ran = false;
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        lock.unlock();
        work();
        ran = true;
        lock.lock();
    }
    return ran;
}

void ScreenStream::run() {
    pthread_setname_np(pthread_self(), "vi.capture");
    FrameSchedule schedule(HostClock::nowNanoseconds(), fps_);
    bool first = true;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto due = onSteadyClock(schedule.due());
        wake_.wait_until(lock, due, [&] { return stopping_ || !posted_.empty(); });
        runPosted(lock);
        if (stopping_) break;
        if (std::chrono::steady_clock::now() < due) continue;
        lock.unlock();
        if (!ended_) tick(first);
        first = false;
        statistics_.lateTicks += schedule.advance(HostClock::nowNanoseconds());
        lock.lock();
    }
    // Work posted before stop() still runs: no sample is left behind.
    runPosted(lock);
    accepting_ = false;
}

void ScreenStream::tick(bool first) {
    auto* c = connection_->get();
    while (auto* event = xcb_poll_for_event(c)) {
        grabber_->handle(event);
        std::free(event);
    }
    if (connection_->hasError()) return end("the connection to the X server was lost");
    if (grabber_->ended()) return end(*grabber_->ended());

    const bool changed = grabber_->takeChange();
    if (!first && !changed && !pendingChange_) {
        ++statistics_.idleTicks;
        return;
    }
    ShmImage* image = pool_->acquire();
    if (!image) {
        // The consumer still holds every buffer: keep the change for the next tick.
        pendingChange_ = true;
        ++statistics_.poolExhausted;
        return;
    }
    const double time = HostClock::now();
    if (!grabber_->grab(*image)) {
        pool_->giveBack(image);
        return end(grabber_->ended().value_or("the screen can no longer be read"));
    }
    pendingChange_ = false;
    ++statistics_.frames;
    if (delegate_.onFrame) delegate_.onFrame(pool_->publish(image, time));
}

void ScreenStream::end(const std::string& reason) {
    if (ended_) return;
    ended_ = true;
    if (delegate_.onStop) delegate_.onStop(reason);
}

} // namespace vi::capture
