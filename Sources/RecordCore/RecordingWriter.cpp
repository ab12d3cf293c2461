#include "RecordCore/RecordingWriter.h"

#include "Platform/Media/MediaError.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <future>

namespace vi {

namespace {
constexpr int stereo = 2;
constexpr double sampleRate = 48'000;
// How much nicer than the rest of the process the encoder runs. A grab that comes late loses a
// frame for good, an encode that comes late only lengthens the queue; so when the cores are
// scarce the capture thread (and the display server it asks) must win. Five steps give the
// capture thread three times the encoder's share without starving the encoder beside a busy
// build at normal priority.
constexpr int encoderNicenessStep = 5;
constexpr int nicestNiceness = 19;

// Lowers the calling thread's priority; the threads it starts from now on inherit it. Any process
// may lower its own threads' priority, so a failure here only means the encoder competes as an
// equal.
void yieldToCapture() {
    const auto thread = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno != 0) return;
    setpriority(PRIO_PROCESS, thread, std::min(nicestNiceness, current + encoderNicenessStep));
}
} // namespace

RecordingWriter::RecordingWriter(std::unique_ptr<media::AssetWriter> writer,
                                 std::function<void(const std::string&)> onFailure)
    : writer_(std::move(writer)), onFailure_(std::move(onFailure)) {
    // The encoders open on the writing thread, after it has lowered its priority, so that the
    // threads the video encoder starts for itself run at that priority too.
    std::promise<void> started;
    auto ready = started.get_future();
    thread_ = std::thread([this, &started] {
        pthread_setname_np(pthread_self(), "vi.capture.enc");
        yieldToCapture();
        try {
            writer_->start();
        } catch (...) {
            started.set_exception(std::current_exception());
            return;
        }
        started.set_value();
        run();
    });
    try {
        ready.get();
    } catch (...) {
        thread_.join();
        throw;
    }
}

RecordingWriter::~RecordingWriter() { drain(); }

void RecordingWriter::startSession(double hostTime) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back({Item::Kind::session, 0, hostTime, {}, {}});
    }
    wake_.notify_one();
}

bool RecordingWriter::appendVideo(int track, capture::ScreenFramePtr frame) {
    {
        std::lock_guard lock(mutex_);
        if (failure_ || draining_) return false;
        if (queuedFrames_ >= maxQueuedFrames) {
            ++droppedFrames_;
            return false;
        }
        ++queuedFrames_;
        const double time = frame->time;
        items_.push_back({Item::Kind::video, track, time, std::move(frame), {}});
    }
    wake_.notify_one();
    return true;
}

void RecordingWriter::appendAudio(int track, std::vector<std::int16_t> samples, double hostTime) {
    {
        std::lock_guard lock(mutex_);
        if (failure_ || draining_) return;
        items_.push_back({Item::Kind::audio, track, hostTime, {}, std::move(samples)});
    }
    wake_.notify_one();
}

void RecordingWriter::drain() {
    {
        std::lock_guard lock(mutex_);
        draining_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::optional<std::string> RecordingWriter::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

double RecordingWriter::audioSeconds(int track) const {
    std::lock_guard lock(mutex_);
    return track >= 0 && track < static_cast<int>(audioSeconds_.size()) ? audioSeconds_[static_cast<std::size_t>(track)] : 0;
}

std::int64_t RecordingWriter::droppedFrames() const {
    std::lock_guard lock(mutex_);
    return droppedFrames_;
}

void RecordingWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return draining_ || !items_.empty(); });
        if (items_.empty()) {
            if (draining_) return;
            continue;
        }
        Item item = std::move(items_.front());
        items_.pop_front();
        if (item.kind == Item::Kind::video) --queuedFrames_;
        if (failure_) continue;
        lock.unlock();
        std::optional<std::string> failed;
        try {
            write(item);
        } catch (const media::MediaError& error) {
            failed = error.message();
        } catch (const std::exception& error) {
            failed = error.what();
        }
        item = {};
        lock.lock();
        if (failed) {
            failure_ = failed;
            lock.unlock();
            if (onFailure_) onFailure_(*failed);
            lock.lock();
        }
    }
}

void RecordingWriter::write(Item& item) {
    switch (item.kind) {
    case Item::Kind::session:
        writer_->startSession(media::MediaTime::fromSeconds(item.time));
        break;
    case Item::Kind::video:
        writer_->appendVideo(item.track,
                             media::ImageView::bgra(item.frame->pixels, item.frame->width, item.frame->height,
                                                    item.frame->stride),
                             media::MediaTime::fromSeconds(item.time));
        break;
    case Item::Kind::audio: {
        writer_->appendAudio(item.track, item.samples, media::MediaTime::fromSeconds(item.time));
        std::lock_guard lock(mutex_);
        if (static_cast<int>(audioSeconds_.size()) <= item.track) audioSeconds_.resize(static_cast<std::size_t>(item.track) + 1);
        audioSeconds_[static_cast<std::size_t>(item.track)] += static_cast<double>(item.samples.size()) / stereo / sampleRate;
        break;
    }
    }
}

} // namespace vi
