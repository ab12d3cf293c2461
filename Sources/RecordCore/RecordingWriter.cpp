#include "RecordCore/RecordingWriter.h"

#include "Platform/Media/MediaError.h"

#include <pthread.h>

namespace vi {

namespace {
constexpr int stereo = 2;
constexpr double sampleRate = 48'000;
} // namespace

RecordingWriter::RecordingWriter(std::unique_ptr<media::AssetWriter> writer,
                                 std::function<void(const std::string&)> onFailure)
    : writer_(std::move(writer)), onFailure_(std::move(onFailure)) {
    thread_ = std::thread([this] { run(); });
}

RecordingWriter::~RecordingWriter() { drain(); }

void RecordingWriter::startSession(double hostTime) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back({Item::Kind::session, 0, hostTime, {}, {}});
    }
    wake_.notify_one();
}

bool RecordingWriter::behind() {
    std::lock_guard lock(mutex_);
    if (queuedFrames_ < maxQueuedFrames) return false;
    ++droppedFrames_;
    return true;
}

bool RecordingWriter::appendVideo(int track, media::PixelBuffer frame, double hostTime) {
    {
        std::lock_guard lock(mutex_);
        if (failure_ || draining_) return false;
        if (queuedFrames_ >= maxQueuedFrames) {
            ++droppedFrames_;
            return false;
        }
        ++queuedFrames_;
        items_.push_back({Item::Kind::video, track, hostTime, std::move(frame), {}});
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
    pthread_setname_np(pthread_self(), "vi.capture.enc");
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
        writer_->appendVideo(item.track, item.frame, media::MediaTime::fromSeconds(item.time));
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
