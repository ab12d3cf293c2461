#pragma once

#include "Platform/Capture/AudioClock.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

typedef struct pa_stream pa_stream;

namespace vi::capture {

class PulseContext;

// A run of captured sound: interleaved 32-bit float samples, `channels` per frame, valid only during
// the callback. `time` is the host-clock time of the first frame.
struct AudioChunk {
    const float* samples = nullptr;
    int frames = 0;
    int channels = 0;
    double time = 0;
};

// A record stream of the sound server: a microphone, or with `systemSoundSource` what the default
// output plays. Always 48 kHz stereo float; the server converts.
class AudioCapture {
public:
    static constexpr int sampleRate = 48'000;
    static constexpr int channels = 2;

    struct Delegate {
        // Sound as it arrives, on the sound server's event thread; copy what you keep.
        std::function<void(const AudioChunk&)> onAudio;
        // The stream ended by itself (the device went away and nothing took its place).
        std::function<void(const std::string& reason)> onError;
    };

    // `source`: a source id from listAudioSources(), `systemSoundSource`, or empty for the default
    // microphone. Connects to the server; throws CaptureError when there is none.
    AudioCapture(std::string source, Delegate delegate);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // Starts recording; throws CaptureError when the source does not exist or refuses.
    void start();
    // Stops; after it returns no callback runs. Idempotent.
    void stop();

private:
    static void onRead(pa_stream* stream, std::size_t bytes, void* userdata);
    static void onState(pa_stream* stream, void* userdata);
    void read();

    std::string source_;
    Delegate delegate_;
    // The sound library's own lock already orders its thread against ours; this one makes that order
    // visible to race checkers, which cannot see inside the library. Taken after the library's lock,
    // never held while waiting for the server.
    std::mutex mutex_;
    pa_stream* stream_ = nullptr;
    AudioClock clock_{sampleRate};
    bool ready_ = false;
    // Last: its thread starts once everything above exists, and stops before any of it goes.
    std::unique_ptr<PulseContext> context_;
};

} // namespace vi::capture
