#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace vi::capture {
class PulseContext;
}

typedef struct pa_stream pa_stream;

namespace vi::test {

// Plays a sine tone into a sink of the private test sound server, from a stream of this process, and
// notes on the host clock when its first sample went to the server (which, for the test server's
// virtual outputs, is when it shows up in their monitors).
class TonePlayer {
public:
    TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Waits until the tone has been played to its end.
    void wait();
    // Host-clock time of the tone's first sample (after wait(), or once playing has begun).
    double startedAt();

private:
    static void onWrite(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onDrained(pa_stream* stream, int success, void* userdata);

    double frequency_;
    double amplitude_;
    long total_;
    long written_ = 0;
    // Atomic: written on the sound library's thread, whose locking race checkers cannot see.
    std::atomic<double> startedAt_{-1};
    std::atomic<bool> done_{false};
    std::atomic<bool> allWritten_{false};
    pa_stream* stream_ = nullptr;
    std::unique_ptr<capture::PulseContext> context_; // last: its thread starts after the rest exists
};

} // namespace vi::test
