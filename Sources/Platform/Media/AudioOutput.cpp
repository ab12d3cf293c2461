#include "Platform/Media/AudioOutput.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/PulseContext.h"
#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaError.h"

#include <pulse/stream.h>

#include <algorithm>
#include <vector>

namespace vi::media {

namespace {

constexpr int kBytesPerFrame = kAudioChannels * int(sizeof(int16_t));
// The server is asked to hold about this much sound: enough that a busy machine does not
// starve the speakers. A seek drops it all, so it costs no responsiveness.
constexpr double kTargetLatency = 0.1;
// The feeder writes at most this much per step, so a begin() interrupts it quickly.
constexpr int kChunkFrames = kAudioSampleRate / 100;
// After a begin the stream starts playing once this much is queued.
constexpr int kPrimeFrames = kAudioSampleRate / 50;
// How often the server is asked how far it has played.
constexpr double kTimingInterval = 0.01;

uint32_t bytesFor(double seconds) { return uint32_t(seconds * kAudioSampleRate) * kBytesPerFrame; }

void signalDone(pa_stream*, int, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

} // namespace

AudioOutput::AudioOutput(SoundSource& source, const std::string& sink) : sound_(source) {
    try {
        context_ = std::make_unique<capture::PulseContext>("Vavod Idiriz player");
    } catch (const capture::CaptureError& error) {
        throw MediaError(MediaErrorKind::openFailed, "there is no sound server to play through", error.what());
    }
    mainloop_ = context_->mainloop();
    capture::PulseContext::Lock lock(*context_);
    const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(kAudioSampleRate), uint8_t(kAudioChannels)};
    stream_ = pa_stream_new(context_->get(), "Preview", &spec, nullptr);
    if (!stream_) throw MediaError(MediaErrorKind::openFailed, "the sound server refused a stream", context_->lastError());
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_write_callback(stream_, onWritable, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = bytesFor(kTargetLatency);
    attributes.prebuf = 0; // never wait for a full buffer: an underrun must not stop the clock
    attributes.minreq = uint32_t(kChunkFrames * kBytesPerFrame);
    attributes.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    std::string failure;
    if (pa_stream_connect_playback(stream_, sink.empty() ? nullptr : sink.c_str(), &attributes, flags, nullptr,
                                   nullptr)
        < 0) {
        failure = context_->lastError();
    } else {
        failure = context_->waitUntilReady(stream_);
    }
    if (!failure.empty()) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_unref(stream_);
        stream_ = nullptr;
        throw MediaError(MediaErrorKind::openFailed, "the sound server refused to play", failure);
    }
    feeder_ = std::thread([this] { feed(); });
}

AudioOutput::~AudioOutput() {
    {
        capture::PulseContext::Lock lock(*context_);
        {
            std::lock_guard guard(mutex_);
            quit_ = true;
        }
        context_->signal();
    }
    if (feeder_.joinable()) feeder_.join();
    capture::PulseContext::Lock lock(*context_);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
}

void AudioOutput::onStreamState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<AudioOutput*>(userdata);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        std::lock_guard guard(self->mutex_);
        if (!self->failed_) {
            self->failed_ = true;
            self->fallback_.begin(self->lastNow_, self->running_ ? self->rate_ : 0);
            if (!self->running_) self->fallback_.halt();
        }
    }
    pa_threaded_mainloop_signal(self->mainloop_, 0);
}

void AudioOutput::onWritable(pa_stream*, std::size_t, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<AudioOutput*>(userdata)->mainloop_, 0);
}

void AudioOutput::onTiming(pa_stream* stream, int success, void* userdata) {
    auto* self = static_cast<AudioOutput*>(userdata);
    if (success) self->takeTiming(stream);
    pa_threaded_mainloop_signal(self->mainloop_, 0);
}

void AudioOutput::takeTiming(pa_stream* stream) {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream);
    if (!timing || timing->read_index_corrupt) return;
    std::lock_guard guard(mutex_);
    if (!running_ || !primed_) return;
    // Where this begin's sound starts in the server's buffer: behind everything written since.
    // Should the server have moved its write position on after running dry, this follows it,
    // since the sound written after that gap is heard that much later.
    if (!timing->write_index_corrupt) baseIndex_ = timing->write_index - written_ * kBytesPerFrame;
    // The sample at the read position still has to pass the output's own buffer; the account
    // itself took `transport_usec` to reach us, during which the server played on.
    heard_ = double(timing->read_index - baseIndex_) / (kAudioSampleRate * kBytesPerFrame)
        - double(timing->sink_usec) * 1e-6 + (timing->playing ? double(timing->transport_usec) * 1e-6 : 0.0);
    heardAt_ = capture::HostClock::now();
    serverPlaying_ = timing->playing != 0;
    timed_ = true;
}

void AudioOutput::stopStreamLocked() {
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) return;
    context_->wait(pa_stream_cork(stream_, 1, signalDone, context_->mainloop()));
    context_->wait(pa_stream_flush(stream_, signalDone, context_->mainloop()));
}

void AudioOutput::begin(double seconds, double rate) {
    capture::PulseContext::Lock lock(*context_);
    {
        std::lock_guard guard(mutex_);
        ++generation_;
        running_ = false;
        if (failed_) {
            lastNow_ = seconds;
            fallback_.begin(seconds, rate);
            return;
        }
    }
    {
        std::lock_guard guard(mutex_);
        primed_ = false;
        timed_ = false;
    }
    stopStreamLocked();
    // Where the new sound will go: the flush left the write position at the read position.
    int64_t base = 0;
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
        context_->wait(pa_stream_update_timing_info(stream_, signalDone, context_->mainloop()));
        if (const pa_timing_info* timing = pa_stream_get_timing_info(stream_)) base = timing->write_index;
    }
    {
        std::lock_guard guard(mutex_);
        running_ = true;
        origin_ = seconds;
        askedRate_ = rate;
        written_ = 0;
        baseIndex_ = base;
        lastNow_ = seconds;
    }
    context_->signal();
}

void AudioOutput::halt() {
    capture::PulseContext::Lock lock(*context_);
    {
        std::lock_guard guard(mutex_);
        if (failed_) {
            fallback_.halt();
            lastNow_ = fallback_.now();
            return;
        }
        held_ = nowLocked();
        ++generation_;
        running_ = false;
        primed_ = false;
    }
    stopStreamLocked();
}

double AudioOutput::now() const {
    std::lock_guard guard(mutex_);
    return nowLocked();
}

double AudioOutput::nowLocked() const {
    if (failed_) return fallback_.now();
    if (!running_) return held_;
    if (!primed_ || !timed_) return origin_;
    const double heard = heard_ + (serverPlaying_ ? capture::HostClock::now() - heardAt_ : 0.0);
    // Between two accounts the system clock carries the time on; an account that finds the
    // server a little behind that guess holds the clock rather than turning it back.
    lastNow_ = std::max(lastNow_, origin_ + std::max(heard, 0.0) * rate_);
    return lastNow_;
}

double AudioOutput::rate() const {
    std::lock_guard guard(mutex_);
    if (failed_) return fallback_.rate();
    return running_ ? rate_ : 0;
}

void AudioOutput::feed() {
    std::vector<int16_t> pcm(size_t(kChunkFrames) * kAudioChannels);
    pa_threaded_mainloop* mainloop = context_->mainloop();
    double lastTiming = 0;
    capture::PulseContext::Lock lock(*context_);
    for (;;) {
        uint64_t generation = 0;
        bool restart = false;
        double origin = 0;
        double askedRate = 1;
        {
            std::lock_guard guard(mutex_);
            if (quit_) return;
            if (!running_ || failed_) {
                generation = 0;
            } else {
                generation = generation_;
                restart = restarted_ != generation_;
                origin = origin_;
                askedRate = askedRate_;
            }
        }
        if (generation == 0) {
            pa_threaded_mainloop_wait(mainloop);
            continue;
        }
        if (restart) {
            // Seeking the source may decode: done without the server's lock.
            pa_threaded_mainloop_unlock(mainloop);
            sound_.restart(origin, askedRate);
            pa_threaded_mainloop_lock(mainloop);
            std::lock_guard guard(mutex_);
            if (generation_ == generation) {
                restarted_ = generation;
                rate_ = sound_.rate();
            }
            continue;
        }
        const std::size_t writable = pa_stream_writable_size(stream_);
        if (writable == std::size_t(-1)) {
            pa_threaded_mainloop_wait(mainloop);
            continue;
        }
        const int frames = std::min(int(writable / kBytesPerFrame), kChunkFrames);
        if (frames == 0) {
            pa_threaded_mainloop_wait(mainloop);
            continue;
        }
        pa_threaded_mainloop_unlock(mainloop);
        sound_.read(pcm.data(), frames);
        pa_threaded_mainloop_lock(mainloop);
        bool prime = false;
        {
            std::lock_guard guard(mutex_);
            if (generation_ != generation || !running_ || failed_) continue;
        }
        if (pa_stream_write(stream_, pcm.data(), std::size_t(frames) * kBytesPerFrame, nullptr, 0, PA_SEEK_RELATIVE)
            < 0)
            continue;
        {
            std::lock_guard guard(mutex_);
            written_ += frames;
            prime = !primed_ && written_ >= kPrimeFrames;
        }
        if (prime) {
            context_->wait(pa_stream_cork(stream_, 0, signalDone, mainloop));
            {
                std::lock_guard guard(mutex_);
                if (generation_ != generation) continue;
                primed_ = true;
            }
            context_->wait(pa_stream_update_timing_info(stream_, onTiming, this));
            lastTiming = capture::HostClock::now();
        } else if (capture::HostClock::now() - lastTiming >= kTimingInterval) {
            lastTiming = capture::HostClock::now();
            if (pa_operation* asked = pa_stream_update_timing_info(stream_, onTiming, this)) pa_operation_unref(asked);
        }
    }
}

} // namespace vi::media
