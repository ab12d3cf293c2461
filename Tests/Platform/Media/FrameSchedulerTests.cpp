#include "Platform/Media/FrameScheduler.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Support/RecordingSink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace vi::media;
using namespace std::chrono_literals;
using vi::test::RecordingSink;

namespace {

constexpr double kFps = 60;

// A clock the test moves by hand, so which frames are due is exact.
class HandClock final : public PlaybackClock {
public:
    void begin(double seconds, double) override { now_ = seconds; }
    void halt() override {}
    double now() const override { return now_; }
    double rate() const override { return 1; }
    void set(double seconds) { now_ = seconds; }

private:
    std::atomic<double> now_{0};
};

// Makes tiny frames whose first byte says which frame they are; frames listed in `held` wait
// until released, frames in `failing` cannot be made.
class Maker {
public:
    FrameScheduler::Compose compose() {
        return [this](int64_t index, double, const FrameScheduler::StillWanted&) -> PixelBuffer {
            {
                std::unique_lock lock(mutex_);
                made_.insert(index);
                released_.wait(lock, [&] { return held_.count(index) == 0; });
                if (failing_.count(index)) return {};
            }
            PixelBuffer picture = pool_.acquire();
            picture.data()[0] = uint8_t(index);
            return picture;
        };
    }
    void hold(int64_t index) {
        std::lock_guard lock(mutex_);
        held_.insert(index);
    }
    void release(int64_t index) {
        {
            std::lock_guard lock(mutex_);
            held_.erase(index);
        }
        released_.notify_all();
    }
    void fail(int64_t index) {
        std::lock_guard lock(mutex_);
        failing_.insert(index);
    }
    bool wasMade(int64_t index) {
        std::lock_guard lock(mutex_);
        return made_.count(index) > 0;
    }

private:
    PixelBufferPool pool_{PixelFormat::bgra, 8, 8};
    std::mutex mutex_;
    std::condition_variable released_;
    std::set<int64_t> held_, failing_, made_;
};

std::vector<int> shownIndices(const RecordingSink& sink) {
    std::vector<int> indices;
    for (const auto& frame : sink.frames()) indices.push_back(frame.picture.data()[0]);
    return indices;
}

} // namespace

TEST(FrameScheduler, PresentsEachFrameWhenTheClockReachesItAndDropsThoseWhoseTimeHasPassed) {
    HandClock clock;
    RecordingSink sink;
    Maker maker;
    FrameScheduler scheduler(maker.compose(), sink, clock, kFps, 3, 6);
    maker.hold(6);
    maker.fail(8);
    std::atomic<int> finished{0};
    scheduler.play(0, 12, 12 / kFps, [&] { ++finished; });

    ASSERT_TRUE(sink.waitFor(1, 2s));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(shownIndices(sink), std::vector<int>({0})) << "frame 1 is not due at time 0";

    clock.set(1 / kFps);
    ASSERT_TRUE(sink.waitFor(2, 2s));
    // The clock jumps past frames 2 to 4: their successors are due, so they are not shown late.
    clock.set(5 / kFps + 0.001);
    ASSERT_TRUE(sink.waitFor(3, 2s));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(shownIndices(sink), std::vector<int>({0, 1, 5}));
    EXPECT_EQ(sink.last()->time, 5 / kFps);

    // A frame made only after its successor became due is dropped; the successor is shown.
    clock.set(6 / kFps);
    std::this_thread::sleep_for(30ms);
    clock.set(7 / kFps);
    maker.release(6);
    ASSERT_TRUE(sink.waitFor(4, 2s));
    EXPECT_EQ(shownIndices(sink).back(), 7);

    // A frame that cannot be made is skipped; the end is told once the clock reaches it.
    clock.set(8 / kFps);
    std::this_thread::sleep_for(30ms);
    clock.set(11 / kFps);
    ASSERT_TRUE(sink.waitFor(5, 2s));
    EXPECT_EQ(finished.load(), 0) << "the item ends at 12/60, not at its last frame";
    clock.set(12 / kFps);
    for (int i = 0; i < 200 && finished == 0; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(finished.load(), 1);
    const auto counts = scheduler.counts();
    EXPECT_EQ(counts.presented + counts.dropped + counts.failed, 12);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(counts.presented, int64_t(sink.count()));
}

TEST(FrameScheduler, PlaysInOrderWithinEachFramesTimeOnTheSystemClock) {
    SteadyPlaybackClock clock;
    RecordingSink sink;
    sink.watch(&clock);
    Maker maker;
    FrameScheduler scheduler(maker.compose(), sink, clock, kFps, 2, 4);
    std::atomic<bool> finished{false};
    clock.begin(0.5, 1);
    scheduler.play(30, 60, 1.0, [&] { finished = true; });
    for (int i = 0; i < 400 && !finished; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(finished);
    EXPECT_GE(clock.now(), 1.0);
    const auto frames = sink.frames();
    ASSERT_FALSE(frames.empty());
    // On a busy machine some frames may drop; none may be shown early, late or out of order.
    double previous = -1;
    for (const auto& frame : frames) {
        EXPECT_GT(frame.time, previous);
        EXPECT_GE(frame.clockAt, frame.time - 1e-6);
        EXPECT_LT(frame.clockAt, frame.time + 1 / kFps + 0.002);
        previous = frame.time;
    }
    const auto counts = scheduler.counts();
    EXPECT_EQ(counts.presented + counts.dropped, 30);
}

TEST(FrameScheduler, NeitherTheClockNorTheEndWaitsForFramesThatTakeTooLongToMake) {
    SteadyPlaybackClock clock;
    RecordingSink sink;
    sink.watch(&clock);
    PixelBufferPool pool(PixelFormat::bgra, 8, 8);
    std::mutex poolMutex;
    std::atomic<int> made{0};
    // Each frame takes 18 frames' time to make: most frames cannot be had in time.
    FrameScheduler scheduler(
        [&](int64_t, double, const FrameScheduler::StillWanted&) {
            ++made;
            std::this_thread::sleep_for(300ms);
            std::lock_guard lock(poolMutex);
            return pool.acquire();
        },
        sink, clock, kFps, 2, 4);
    std::atomic<bool> finished{false};
    std::atomic<double> finishedAfter{0};
    const auto start = std::chrono::steady_clock::now();
    clock.begin(0, 1);
    scheduler.play(0, 60, 1.0, [&] {
        finishedAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        finished = true;
    });
    for (int i = 0; i < 600 && !finished; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(finished);
    EXPECT_LT(finishedAfter.load(), 1.12) << "the item ends when the clock reaches its end, frames made or not";
    const auto counts = scheduler.counts();
    EXPECT_EQ(counts.presented + counts.dropped + counts.failed, 60);
    EXPECT_EQ(counts.failed, 0);
    for (const auto& frame : sink.frames()) EXPECT_LT(frame.clockAt, frame.time + 1 / kFps + 0.002) << "shown late";
    EXPECT_LE(made.load(), 10) << "frames that could only be late are not made";
}

TEST(FrameScheduler, ShowsOneFrameAtOnceWhilePausedAndNothingAfterStop) {
    HandClock clock;
    RecordingSink sink;
    Maker maker;
    FrameScheduler scheduler(maker.compose(), sink, clock, kFps, 2, 4);
    std::atomic<int> shown{0};
    clock.set(0);
    scheduler.show(90, [&] { ++shown; });
    ASSERT_TRUE(sink.waitFor(1, 2s));
    EXPECT_EQ(sink.last()->time, 90 / kFps);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(shown.load(), 1);
    EXPECT_EQ(sink.count(), 1u) << "only the one frame";

    // A frame still being made when playing stops never reaches the sink.
    maker.hold(3);
    scheduler.play(3, 100, 100 / kFps);
    for (int i = 0; i < 200 && !maker.wasMade(3); ++i) std::this_thread::sleep_for(2ms);
    clock.set(3 / kFps);
    scheduler.stop();
    maker.release(3);
    clock.set(10 / kFps);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sink.count(), 1u);
}
