#pragma once

#include "Platform/Media/FrameSink.h"
#include "Platform/Media/PixelBuffer.h"
#include "Platform/Media/PlaybackClock.h"

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace vi::media {

// Makes a player's output frames ahead of its clock on worker threads and presents them in
// order when the clock reaches them. A frame that is ready only after the next one is due is
// dropped, never shown late; a worker that picks up a frame whose time has already passed
// skips making it, and workers aim at frames that will still be due once made. The clock never
// waits for a picture: a frame not made by the time its successor is due is given up. Output
// frame i is at output time i / fps.
class FrameScheduler {
public:
    // Makes the picture of output frame `index` (at output time `seconds`); may wait for its
    // inputs. An empty buffer means it could not be made: the frame is skipped. Called on the
    // worker threads, several frames at once, so it must be safe to call concurrently.
    // `stillWanted` turns false once a later play, show or stop has made the frame unwanted.
    using StillWanted = std::function<bool()>;
    using Compose = std::function<PixelBuffer(int64_t index, double seconds, const StillWanted& stillWanted)>;

    struct Counts {
        int64_t presented = 0;
        int64_t dropped = 0; // made or due too late
        int64_t failed = 0;  // Compose gave no picture
    };

    // `workers` threads compose at once; at most `ahead` frames are being made or wait to be
    // shown. The sink and clock must outlive the scheduler.
    FrameScheduler(Compose compose, FrameSink& sink, const PlaybackClock& clock, double fps, int workers, int ahead);
    ~FrameScheduler();
    FrameScheduler(const FrameScheduler&) = delete;
    FrameScheduler& operator=(const FrameScheduler&) = delete;

    // Plays frames [first, end) against the clock; once the last has had its turn and the clock
    // has reached `endSeconds`, `finished` (if set) runs on the presenting thread.
    void play(int64_t first, int64_t end, double endSeconds, std::function<void()> finished = {});
    // Presents frame `index` as soon as it is made, whatever the clock says, then idles.
    // `shown` (if set) runs on the presenting thread right after it was presented.
    void show(int64_t index, std::function<void()> shown = {});
    // Idles; once it returns nothing more is presented until the next play or show.
    void stop();

    Counts counts() const;
    double fps() const { return fps_; }
    int workers() const { return int(workers_.size()); }

private:
    // Whether the play or show numbered `run` is still the one under way.
    bool isCurrent(uint64_t run) const;

    enum class Mode { idle, play, show };
    struct Made {
        PixelBuffer picture;
        bool late = false;
    };

    void work();
    void presentLoop();
    // Waits (lock held through `lock`) until the clock reaches `seconds` or the epoch changes.
    bool waitForClock(std::unique_lock<std::mutex>& lock, double seconds, uint64_t epoch);
    // While playing and frame presentNext_ is not made: waits a little for it, or, once the
    // clock has passed it, gives it up with every frame up to the one due now.
    void waitForFrameOrGiveUp(std::unique_lock<std::mutex>& lock, uint64_t epoch);
    // Presents unless the epoch has moved on; true when presented.
    bool present(const PixelBuffer& picture, int64_t index, uint64_t epoch);
    double timeOf(int64_t index) const { return double(index) / fps_; }
    // The frame showing at output time `seconds`.
    int64_t indexAt(double seconds) const { return int64_t(std::floor(seconds * fps_ + 1e-6)); }
    void restart(Mode mode, int64_t first, int64_t end);

    Compose compose_;
    FrameSink* sink_;
    const PlaybackClock* clock_;
    double fps_;
    int ahead_;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable presentable_;
    uint64_t epoch_ = 0;
    Mode mode_ = Mode::idle;
    int64_t next_ = 0;         // the next frame a worker takes
    int64_t presentNext_ = 0;  // the next frame to present
    int64_t end_ = 0;
    double endSeconds_ = 0;
    std::function<void()> whenDone_;
    std::map<int64_t, Made> ready_;
    Counts counts_;
    double makeSeconds_ = 0; // running estimate of the wall time one frame takes to make
    bool quit_ = false;

    // Held while a frame is handed to the sink, so stop() can wait for a presentation under way.
    std::mutex presenting_;

    std::vector<std::thread> workers_;
    std::thread presenter_;
};

} // namespace vi::media
