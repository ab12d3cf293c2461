#pragma once

#include <cstdint>

namespace vi::media {

// Sound to be played, on the output time line, as 48 kHz stereo 16-bit frames (AudioFormat.h).
// Used by one thread at a time: the player's sound thread.
class SoundSource {
public:
    virtual ~SoundSource() = default;
    // The next frames read are those from `seconds` of output time on.
    virtual void seek(double seconds) = 0;
    // Fills up to `frames` frames (interleaved left, right) and returns how many it gave: fewer
    // only at the end of the sound.
    virtual int read(int16_t* interleaved, int frames) = 0;
};

} // namespace vi::media
