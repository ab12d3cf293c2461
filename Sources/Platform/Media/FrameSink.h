#pragma once

#include "Platform/Media/MediaTime.h"
#include "Platform/Media/PixelBuffer.h"

namespace vi::media {

// Where a player puts the frames it shows: a view on screen, or a recorder in tests. Called on
// the player's presenting thread, in output order, when the frame is due; it should keep a copy
// of the buffer (cheap: the pixels are shared) and return quickly. The picture is BGRA of the
// player's render size and must not be written.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void present(const PixelBuffer& frame, MediaTime time) = 0;
};

} // namespace vi::media
