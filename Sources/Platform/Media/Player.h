#pragma once

#include "Platform/Media/AudioOutput.h"
#include "Platform/Media/Composition.h"
#include "Platform/Media/CompositionSound.h"
#include "Platform/Media/FrameScheduler.h"
#include "Platform/Media/FrameSink.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/PlaybackClock.h"
#include "Platform/Media/PlayerNotifier.h"
#include "Platform/Media/TrackFeed.h"
#include "Platform/Media/VideoComposition.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace vi::media {

struct PlayerOptions {
    int workers = 0;        // composing threads; 0 picks by core count
    int ahead = 0;          // frames made ahead of the clock; 0 picks by workers
    bool sound = true;      // false plays silently on the system clock
    std::string soundSink;  // empty: the default output
};

// Plays a composition: a decoding thread per video track reads ahead, worker threads compose
// every output frame through the video composition ahead of the clock, and the frames reach
// the sink when the clock gets to them (late ones are dropped). The sound is the clock when
// there is any and a sound server to play it; otherwise the system clock is. Time observers and
// the end notice run on the GUI thread.
//
// The public operations are meant for one thread (the GUI thread); they return at once.
class Player {
public:
    using Options = PlayerOptions;

    explicit Player(FrameSink& sink, PlayerOptions options = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Plays this composition from now on, keeping the time (within the new duration) and
    // whether it plays. While paused the frame at the time is shown.
    void replaceItem(std::shared_ptr<const Composition> composition, VideoComposition video);
    // Another way of composing the same item (a new look or render size): used from the next
    // frame made on; while paused the frame at the time is made again.
    void setVideoComposition(VideoComposition video);

    void play();
    void pause();
    // A rate above 0 plays at that speed (when playing); 0 or less pauses.
    void setRate(double rate);
    // Goes to the output frame at or before `seconds` (clamped to the item); while paused that
    // frame is shown as soon as it is made.
    void seek(double seconds);

    double currentTime() const;
    double duration() const;
    double rate() const;
    bool isPlaying() const;
    // True when the sound is the clock (false: no sound in the item, no server, or sound off).
    bool playsSound() const;

    // Observers run on the GUI thread (see PlayerNotifier).
    int addPeriodicTimeObserver(PlayerNotifier::TimeObserver observer);
    int addEndObserver(std::function<void()> observer);
    void removeObserver(int token);

    FrameScheduler::Counts counts() const;

private:
    struct Composer;
    // The clock the scheduler reads: the sound's or the system's, whichever the item uses.
    class ActiveClock final : public PlaybackClock {
    public:
        void use(PlaybackClock* clock) { clock_ = clock; }
        PlaybackClock* current() const { return clock_; }
        void begin(double seconds, double rate) override { clock_.load()->begin(seconds, rate); }
        void halt() override { clock_.load()->halt(); }
        double now() const override { return clock_.load()->now(); }
        double rate() const override { return clock_.load()->rate(); }

    private:
        std::atomic<PlaybackClock*> clock_{nullptr};
    };

    std::unique_ptr<FrameScheduler> makeScheduler();
    PixelBuffer compose(int64_t index, double seconds, const FrameScheduler::StillWanted& stillWanted);
    void start(double seconds);
    void showAt(double seconds);
    void finished();
    int64_t indexAt(double seconds) const;
    int64_t endIndex() const;

    Options options_;
    FrameSink* sink_;

    // Read by the composing threads; swapped whole by the public operations.
    mutable std::mutex shared_;
    std::shared_ptr<Composer> composer_;

    std::shared_ptr<const Composition> composition_;
    double duration_ = 0;
    double fps_ = 60;
    std::atomic<bool> playing_{false};
    std::atomic<double> rate_{1};
    std::atomic<double> pausedAt_{0};
    std::atomic<bool> ended_{false};

    SteadyPlaybackClock steady_;
    std::unique_ptr<CompositionSound> sound_;
    std::unique_ptr<AudioOutput> audio_;
    ActiveClock clock_;
    std::unique_ptr<PlayerNotifier> notifier_;
    std::unique_ptr<FrameScheduler> scheduler_; // last: its threads stop first
};

} // namespace vi::media
