#pragma once

#include "Platform/Media/Composition.h"
#include "Platform/Media/PixelBuffer.h"

#include <functional>
#include <memory>
#include <optional>

namespace vi::media {

// A source frame as a composition shows it: the picture and its time in its own file.
struct CompositionFrame {
    PixelBuffer picture; // BGRA, the stored picture (the file's rotation is not applied)
    MediaTime sourceTime;
};

// Gives the frame a composition's video track shows at an output time. Within an inserted range
// that is the last frame, in reading order, whose time mapped onto output time is at most the
// asked time (before the range's first frame, its first frame); an empty range shows none, and
// so does any time past the track's end. Frames are decoded forward; those passed over (a
// sped-up range) are decoded but never converted. Asking for an earlier time than the last one,
// or jumping far ahead, seeks. One reader belongs to one thread at a time.
class CompositionVideoReader {
public:
    // Throws MediaError (invalidArgument) when the composition has no video track `trackID`.
    CompositionVideoReader(const Composition& composition, int trackID);
    ~CompositionVideoReader();
    CompositionVideoReader(const CompositionVideoReader&) = delete;
    CompositionVideoReader& operator=(const CompositionVideoReader&) = delete;

    // Reads the track `trackID` of another composition (an edit that changed its timing) from
    // now on, keeping the file that is open and its decoder when the new track reads it too.
    // Throws MediaError (invalidArgument) like the constructor, keeping the old track then.
    void setTrack(const Composition& composition, int trackID);

    // Asked between decoded frames while frameAt() decodes towards its frame: when it says so,
    // frameAt() stops short and gives an earlier frame, for a caller that learned meanwhile
    // that the frame is no longer wanted (a newer seek). The next call reads on correctly.
    void setInterruption(std::function<bool()> interrupted);

    // `promptly`: the frame is wanted on its own as soon as possible (a seek while paused)
    // rather than as one of a run, so seeking is chosen whenever it decodes fewer frames.
    // Throws MediaError (openFailed, readFailed) from the source files.
    std::optional<CompositionFrame> frameAt(MediaTime output, bool promptly = false);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vi::media
