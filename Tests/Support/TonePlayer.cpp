#include "Support/TonePlayer.h"

#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/PulseContext.h"

#include <pulse/stream.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vi::test {

namespace {
constexpr int rate = 48'000;
constexpr int channels = 2;
constexpr std::uint32_t bufferMicroseconds = 20'000;
// The server's drain report can come tens of seconds late on a busy machine; a tone is also over
// once its length has passed since its first sample plus this much for what the server still holds.
constexpr double playedOutMargin = 0.1;
} // namespace

TonePlayer::TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds)
    : frequency_(frequency), amplitude_(amplitude), total_(std::lround(seconds * rate)),
      context_(std::make_unique<capture::PulseContext>("vi-test-tone")) {
    capture::PulseContext::Lock lock(*context_);
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, rate, channels};
    stream_ = pa_stream_new(context_->get(), "tone", &spec, nullptr);
    if (!stream_) throw std::runtime_error("cannot make a playback stream");
    pa_stream_set_write_callback(stream_, onWrite, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(bufferMicroseconds, &spec));
    attributes.prebuf = 0; // play from the first sample on, so that its time is known
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(stream_, sink.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot play into " + sink);
    }
}

TonePlayer::~TonePlayer() {
    {
        capture::PulseContext::Lock lock(*context_);
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
    }
    context_.reset();
}

void TonePlayer::onWrite(pa_stream* stream, std::size_t bytes, void* userdata) {
    auto* self = static_cast<TonePlayer*>(userdata);
    const long frames = std::min<long>(static_cast<long>(bytes / (channels * sizeof(float))), self->total_ - self->written_);
    if (frames <= 0) return;
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    for (long i = 0; i < frames; ++i) {
        const double t = static_cast<double>(self->written_ + i) / rate;
        const auto value = static_cast<float>(self->amplitude_ * std::sin(2 * std::numbers::pi * self->frequency_ * t));
        samples[static_cast<std::size_t>(i) * 2] = value;
        samples[static_cast<std::size_t>(i) * 2 + 1] = value;
    }
    if (self->written_ == 0) self->startedAt_ = capture::HostClock::now();
    pa_stream_write(stream, samples.data(), samples.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    self->written_ += frames;
    if (self->written_ >= self->total_) self->allWritten_ = true;
    if (self->written_ >= self->total_) pa_operation_unref(pa_stream_drain(stream, onDrained, self));
}

void TonePlayer::onDrained(pa_stream*, int, void* userdata) { static_cast<TonePlayer*>(userdata)->done_ = true; }

void TonePlayer::wait() {
    // Polled: the sound library's thread touches nothing of ours but the two atomics.
    const double length = static_cast<double>(total_) / rate;
    auto playedOut = [&] {
        return allWritten_ && startedAt_ >= 0 && capture::HostClock::now() >= startedAt_ + length + playedOutMargin;
    };
    while (!done_ && !playedOut()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

double TonePlayer::startedAt() { return startedAt_; }

} // namespace vi::test
