#pragma once

#include "Platform/Media/PlaybackClock.h"
#include "Platform/Media/SoundAtRate.h"
#include "Platform/Media/SoundSource.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

typedef struct pa_stream pa_stream;
typedef struct pa_threaded_mainloop pa_threaded_mainloop;

namespace vi::capture {
class PulseContext;
}

namespace vi::media {

// Plays a sound source through the sound server and is the clock of what is heard: the output
// time of the sample leaving the speakers now. The clock follows the server's own account of
// how far it has played (its read position less the output's latency), refreshed about every
// 10 ms and carried between refreshes by the system clock; while the server does not play (an
// output waking up), the clock waits with it.
// A thread of its own reads the source ahead (never on the server's event thread); begin()
// drops what is queued, so the clock and the sound jump together. When the server goes away
// mid-play the clock carries on by the system clock and the sound stops.
class AudioOutput final : public PlaybackClock {
public:
    // Connects to the sound server ($PULSE_SERVER or the user's) and opens a stream on `sink`
    // (empty: the default output). Throws MediaError (openFailed) when there is none or the
    // stream is refused. The source is read only by the output's own thread from now on.
    explicit AudioOutput(SoundSource& source, const std::string& sink = {});
    ~AudioOutput() override;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    void begin(double seconds, double rate) override;
    void halt() override;
    double now() const override;
    // The rate the sound plays at (the asked rate rounded to a whole sample rate), 0 when halted.
    double rate() const override;

private:
    static void onStreamState(pa_stream* stream, void* userdata);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onTiming(pa_stream* stream, int success, void* userdata);
    void feed();
    // With the server's lock held: stops the stream and drops what it holds.
    void stopStreamLocked();
    // With the server's lock held: notes how far the server has played.
    void takeTiming(pa_stream* stream);
    double nowLocked() const; // with mutex_ held

    SoundAtRate sound_;
    pa_stream* stream_ = nullptr;
    std::thread feeder_;

    // Taken after the server's lock, never the other way round: the server's lock already
    // orders its thread against ours, this one makes that order visible to race checkers.
    mutable std::mutex mutex_;
    uint64_t generation_ = 0;   // one per begin or halt; stale work of the feeder is dropped
    uint64_t restarted_ = 0;    // the generation whose source position the feeder has set
    bool running_ = false;
    bool primed_ = false;       // the stream has its first sound and plays
    bool failed_ = false;
    bool quit_ = false;
    double origin_ = 0;         // output time of the first frame written since begin
    double askedRate_ = 1;
    double rate_ = 1;           // the rate the written sound plays at
    int64_t written_ = 0;       // frames written since begin
    int64_t baseIndex_ = 0;     // the server's write position (bytes) where this begin's sound starts
    // The server's latest account: seconds of this begin's sound played by host time `heardAt_`.
    bool timed_ = false;
    bool serverPlaying_ = false;
    double heard_ = 0;
    double heardAt_ = 0;
    double held_ = 0;           // the time while halted
    mutable double lastNow_ = 0;
    SteadyPlaybackClock fallback_; // runs on when the server fails

    // Set once before the stream exists, read by the server's thread in callbacks.
    std::atomic<pa_threaded_mainloop*> mainloop_{nullptr};

    std::unique_ptr<capture::PulseContext> context_; // its thread starts after the rest exists
};

} // namespace vi::media
