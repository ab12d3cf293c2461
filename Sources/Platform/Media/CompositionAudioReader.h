#pragma once

#include "Platform/Media/AudioTrackReader.h"
#include "Platform/Media/Composition.h"

#include <memory>
#include <optional>
#include <vector>

namespace vi::media {

// Reads the sound of a composition on its output time as one 48 kHz stereo 16-bit stream: every
// chosen sound track is rendered (its inserted ranges read from their files, its empty ranges
// silent) and the tracks are summed at unity gain and clipped, as a mix does. The stream runs
// from 0 to the end of the longest chosen track. One reader belongs to one thread at a time.
class CompositionAudioReader {
public:
    // `trackIDs` empty means every sound track of the composition. Throws MediaError:
    // invalidArgument for a track that is not sound or holds retimed sound (sped-up sound is
    // left silent by the compositions we build, never retimed); openFailed or readFailed from
    // the files, when they are first read.
    explicit CompositionAudioReader(const Composition& composition, std::vector<int> trackIDs = {});
    ~CompositionAudioReader();
    CompositionAudioReader(const CompositionAudioReader&) = delete;
    CompositionAudioReader& operator=(const CompositionAudioReader&) = delete;

    // The next run of mixed sound, or nothing at the end. Throws MediaError (readFailed).
    std::optional<AudioChunk> next();

    // Where the stream ends (output time).
    MediaTime duration() const;

private:
    class TrackRender;
    std::vector<std::unique_ptr<TrackRender>> tracks_;
    std::vector<int32_t> sum_;
    std::vector<int16_t> mixed_;
    int64_t position_ = 0; // output sample frames already given
    int64_t end_ = 0;
};

} // namespace vi::media
