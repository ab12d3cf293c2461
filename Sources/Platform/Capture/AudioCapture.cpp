#include "Platform/Capture/AudioCapture.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/PulseContext.h"

#include <pulse/error.h>
#include <pulse/stream.h>

namespace vi::capture {

namespace {
// Chunks of 10 ms: small enough that sound reaches the writer promptly, large enough that the
// event thread wakes only a hundred times a second.
constexpr std::uint32_t fragmentMicroseconds = 10'000;
constexpr int bytesPerFrame = AudioCapture::channels * static_cast<int>(sizeof(float));
} // namespace

AudioCapture::AudioCapture(std::string source, Delegate delegate)
    : source_(std::move(source)), delegate_(std::move(delegate)),
      context_(std::make_unique<PulseContext>("vi-capture")) {}

AudioCapture::~AudioCapture() { stop(); }

void AudioCapture::start() {
    PulseContext::Lock lock(*context_);
    if (stream_) return;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, sampleRate, channels};
    pa_stream* stream = pa_stream_new(context_->get(), "recording", &spec, nullptr);
    if (!stream) throw CaptureError("cannot make a sound stream: " + context_->lastError());
    {
        std::lock_guard guard(mutex_);
        stream_ = stream;
    }
    pa_stream_set_state_callback(stream, onState, this);
    pa_stream_set_read_callback(stream, onRead, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(fragmentMicroseconds, &spec));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
    const char* device = source_.empty() ? nullptr : source_.c_str();
    std::string failure;
    if (pa_stream_connect_record(stream, device, &attributes, flags) < 0) {
        failure = context_->lastError();
    } else {
        failure = context_->waitUntilReady(stream);
    }
    if (!failure.empty()) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        {
            std::lock_guard guard(mutex_);
            stream_ = nullptr;
        }
        pa_stream_unref(stream);
        throw CaptureError("cannot record from " + (source_.empty() ? std::string("the default microphone") : source_) +
                           ": " + failure);
    }
    std::lock_guard guard(mutex_);
    ready_ = true;
}

void AudioCapture::stop() {
    PulseContext::Lock lock(*context_);
    pa_stream* stream = nullptr;
    {
        std::lock_guard guard(mutex_);
        ready_ = false;
        std::swap(stream, stream_);
    }
    if (!stream) return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

void AudioCapture::onState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<AudioCapture*>(userdata);
    const auto state = pa_stream_get_state(stream);
    std::lock_guard guard(self->mutex_);
    if (self->ready_ && !PA_STREAM_IS_GOOD(state)) {
        self->ready_ = false;
        if (self->delegate_.onError) {
            self->delegate_.onError("the sound input stopped: " + self->context_->lastError());
        }
    }
    self->context_->signal();
}

void AudioCapture::onRead(pa_stream*, std::size_t, void* userdata) {
    auto* self = static_cast<AudioCapture*>(userdata);
    std::lock_guard guard(self->mutex_);
    if (self->stream_) self->read();
}

void AudioCapture::read() {
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) return;
        const int frames = static_cast<int>(bytes / bytesPerFrame);
        // A hole (data lost by the server) carries no samples but keeps its place in time.
        if (!data && frames > 0) clock_.skip(frames);
        if (data && frames > 0) {
            // The chunk began as long ago as everything still unread lasts, plus the time the sound
            // spent in the device's own buffer. The server's overall latency figure is not used: for
            // monitors and virtual sources it counts output buffering that the captured sound never
            // waited through.
            const double now = HostClock::now();
            const double unread = static_cast<double>(pa_stream_readable_size(stream_)) / (bytesPerFrame * sampleRate);
            const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
            const double inDevice = timing ? static_cast<double>(timing->source_usec) * 1e-6 : 0.0;
            const double time = clock_.stamp(frames, now - unread - inDevice);
            if (delegate_.onAudio) delegate_.onAudio({static_cast<const float*>(data), frames, channels, time});
        }
        pa_stream_drop(stream_);
    }
}

} // namespace vi::capture
