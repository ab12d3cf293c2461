#include "Platform/Media/Player.h"

#include "Platform/Media/MediaError.h"

#include <algorithm>
#include <cmath>
#include <sched.h>
#include <thread>

namespace vi::media {

namespace {
// Frames are read this many ahead of those being composed, so a worker rarely waits.
constexpr int kFeedSlack = 4;
// A time this close below a frame boundary counts as on it (times arrive as doubles).
constexpr double kBoundarySlack = 1e-6;

// The cores this process may run on (a taskset or a container limits them below the machine's).
int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

int defaultWorkers() {
    const int cores = usableCores();
    return std::clamp(cores / 2, 2, 6);
}
} // namespace

// What the composing threads need for one frame, swapped whole when it changes.
struct Player::Composer {
    VideoComposition video;
    std::map<int, std::shared_ptr<TrackFeed>> feeds;
    std::unique_ptr<PixelBufferPool> pool;
};

Player::Player(FrameSink& sink, Options options) : options_(std::move(options)), sink_(&sink) {
    if (options_.workers <= 0) options_.workers = defaultWorkers();
    if (options_.ahead <= 0) options_.ahead = options_.workers + 2;
    clock_.use(&steady_);
    notifier_ = std::make_unique<PlayerNotifier>([this] { return currentTime(); });
    scheduler_ = makeScheduler();
}

std::unique_ptr<FrameScheduler> Player::makeScheduler() {
    return std::make_unique<FrameScheduler>(
        [this](int64_t index, double seconds, const FrameScheduler::StillWanted& stillWanted) {
            return compose(index, seconds, stillWanted);
        },
        *sink_, clock_, fps_, options_.workers, options_.ahead);
}

Player::~Player() {
    scheduler_.reset(); // no frame is composed or presented from here on
    audio_.reset();
    notifier_.reset();
}

int64_t Player::indexAt(double seconds) const {
    return int64_t(std::floor(seconds * fps_ + kBoundarySlack));
}

int64_t Player::endIndex() const { return int64_t(std::ceil(duration_ * fps_ - kBoundarySlack)); }

void Player::replaceItem(std::shared_ptr<const Composition> composition, VideoComposition video) {
    const bool wasPlaying = playing_;
    const double at = currentTime();
    scheduler_->stop();
    clock_.halt();
    const double previousFps = fps_;
    composition_ = std::move(composition);
    duration_ = composition_ ? composition_->duration().seconds() : 0;
    const double fps = video.frameRate > 0 ? video.frameRate : 60;
    if (fps != fps_) {
        fps_ = fps;
        scheduler_ = makeScheduler();
    }

    const bool hasSound = options_.sound && composition_ && !composition_->tracks(TrackKind::audio).empty();
    if (hasSound && !audio_) {
        sound_ = std::make_unique<CompositionSound>(composition_);
        try {
            audio_ = std::make_unique<AudioOutput>(*sound_, options_.soundSink);
        } catch (const MediaError&) {
            audio_.reset(); // no sound server: play silently on the system clock
        }
    } else if (sound_) {
        sound_->replace(composition_);
    }
    clock_.use(hasSound && audio_ ? static_cast<PlaybackClock*>(audio_.get()) : &steady_);

    std::shared_ptr<Composer> previous;
    {
        std::lock_guard lock(shared_);
        previous = composer_;
    }
    auto composer = std::make_shared<Composer>();
    composer->video = std::move(video);
    if (composition_)
        for (const CompositionTrack* track : composition_->tracks(TrackKind::video)) {
            // A track the item had before keeps its reading thread, and with it the open file
            // and decoder: an edit that changes timing only moves where it reads.
            if (previous && fps_ == previousFps) {
                const auto kept = previous->feeds.find(track->trackID());
                if (kept != previous->feeds.end()) {
                    kept->second->replace(composition_);
                    composer->feeds[track->trackID()] = kept->second;
                    continue;
                }
            }
            composer->feeds[track->trackID()] =
                std::make_shared<TrackFeed>(composition_, track->trackID(), fps_, options_.ahead + kFeedSlack);
        }
    {
        std::lock_guard lock(shared_);
        composer_ = std::move(composer);
    }
    ended_ = false;
    const double clamped = std::clamp(at, 0.0, duration_);
    if (wasPlaying) {
        start(clamped);
    } else {
        showAt(clamped);
    }
}

void Player::setVideoComposition(VideoComposition video) {
    auto composer = std::make_shared<Composer>();
    {
        std::lock_guard lock(shared_);
        if (composer_) composer->feeds = composer_->feeds;
        composer->video = std::move(video);
        composer_ = composer;
    }
    if (!playing_) showAt(pausedAt_);
}

void Player::start(double seconds) {
    const int64_t first = indexAt(seconds);
    // Ends the run under way before the feeds restart: see compose() for why the order matters.
    scheduler_->stop();
    std::shared_ptr<Composer> composer;
    {
        std::lock_guard lock(shared_);
        composer = composer_;
    }
    if (composer)
        for (auto& [id, feed] : composer->feeds) feed->restart(first);
    clock_.begin(seconds, rate_);
    scheduler_->play(first, endIndex(), duration_, [this] { finished(); });
    notifier_->setPlaying(true);
}

void Player::showAt(double seconds) {
    pausedAt_ = seconds;
    const int64_t index = std::min(indexAt(seconds), std::max<int64_t>(endIndex() - 1, 0));
    std::shared_ptr<Composer> composer;
    {
        std::lock_guard lock(shared_);
        composer = composer_;
    }
    if (!composer) return;
    scheduler_->stop(); // before the feeds restart, as in start()
    for (auto& [id, feed] : composer->feeds) feed->restart(index);
    scheduler_->show(index);
    notifier_->postTime();
}

void Player::finished() {
    // On the presenting thread: the clock has reached the end.
    pausedAt_ = duration_;
    ended_ = true;
    playing_ = false;
    clock_.halt();
    notifier_->setPlaying(false);
    notifier_->postEnd();
}

void Player::play() {
    if (playing_ || !composition_) return;
    playing_ = true;
    ended_ = false;
    start(std::clamp(pausedAt_.load(), 0.0, duration_));
}

void Player::pause() {
    if (!playing_) return;
    const double at = std::clamp(clock_.now(), 0.0, duration_);
    playing_ = false;
    scheduler_->stop();
    clock_.halt();
    pausedAt_ = at;
    notifier_->setPlaying(false);
}

void Player::setRate(double rate) {
    if (!(rate > 0)) {
        pause();
        return;
    }
    rate_ = rate;
    if (!playing_) return;
    // Frames already made stay good: only the clock's pace changes (the sound restarts here).
    clock_.begin(clock_.now(), rate);
}

void Player::seek(double seconds) {
    const double clamped = std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, duration_);
    ended_ = false;
    if (playing_) {
        start(clamped);
        notifier_->postTime();
    } else {
        showAt(clamped);
    }
}

double Player::currentTime() const {
    if (!playing_) return pausedAt_;
    return std::clamp(clock_.now(), 0.0, duration_);
}

double Player::duration() const { return duration_; }
double Player::rate() const { return playing_ ? rate_.load() : 0.0; }
bool Player::isPlaying() const { return playing_; }
bool Player::playsSound() const { return clock_.current() != &steady_; }

int Player::addPeriodicTimeObserver(PlayerNotifier::TimeObserver observer) {
    return notifier_->addTimeObserver(std::move(observer));
}
int Player::addEndObserver(std::function<void()> observer) { return notifier_->addEndObserver(std::move(observer)); }
void Player::removeObserver(int token) { notifier_->removeObserver(token); }

FrameScheduler::Counts Player::counts() const { return scheduler_->counts(); }

PixelBuffer Player::compose(int64_t index, double seconds, const FrameScheduler::StillWanted& stillWanted) {
    std::shared_ptr<Composer> composer;
    {
        std::lock_guard lock(shared_);
        composer = composer_;
    }
    if (!composer || !composer->video.compose) return {};
    // A worker of a run that a seek has ended must not ask the restarted feeds for its frame:
    // it would pull their reading away from the frame wanted now. The feeds' readings are
    // named before the run is checked, and seeks end the run before restarting the feeds, so
    // a run still current here holds readings that any later restart makes stale.
    std::map<int, uint64_t> readings;
    for (const auto& [trackID, feed] : composer->feeds) readings[trackID] = feed->generation();
    if (!stillWanted()) return {};
    VideoCompositionRequest request;
    request.seconds = seconds;
    for (const int trackID : composer->video.requiredTrackIDs) {
        const auto feed = composer->feeds.find(trackID);
        if (feed == composer->feeds.end()) continue;
        auto frame = feed->second->frame(index, readings[trackID]);
        if (!frame) return {}; // passed over or restarted: this frame is not wanted any more
        if (frame->picture) request.frames.emplace_back(trackID, std::move(frame->picture));
    }
    {
        std::lock_guard lock(shared_);
        const auto& video = composer->video;
        if (!composer->pool)
            composer->pool = std::make_unique<PixelBufferPool>(PixelFormat::bgra, video.renderWidth, video.renderHeight);
        request.destination = composer->pool->acquire();
    }
    return composer->video.compose(request);
}

} // namespace vi::media
