#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaTime.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vi::media {

struct AudioReaderOptions {
    int track = 0;     // which sound track, counting sound tracks only
    double start = 0;  // seconds: sound before this is not given
};

// A run of sound: `frameCount` frames of kAudioChannels interleaved 16-bit samples at
// kAudioSampleRate, starting at `time` (timescale kAudioSampleRate, so sample-exact). The
// samples belong to the reader and stay valid until its next call.
struct AudioChunk {
    const int16_t* samples = nullptr;
    int frameCount = 0;
    MediaTime time{0, kAudioSampleRate};
};

// Reads one sound track forward, converted to 48 kHz stereo 16-bit PCM whatever its stored
// rate, layout and sample format. One reader belongs to one thread at a time.
class AudioTrackReader {
public:
    // Throws MediaError: noAudioTrack, openFailed, readFailed.
    explicit AudioTrackReader(const Asset& asset, AudioReaderOptions options = {});
    ~AudioTrackReader();
    AudioTrackReader(const AudioTrackReader&) = delete;
    AudioTrackReader& operator=(const AudioTrackReader&) = delete;

    // The next chunk, or nothing at the end. Throws MediaError (readFailed).
    std::optional<AudioChunk> next();

    // The next chunk then starts at `seconds` (or at the track's first sound after it).
    void seek(double seconds);

    const TrackInfo& track() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vi::media
