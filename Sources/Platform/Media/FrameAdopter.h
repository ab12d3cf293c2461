#pragma once

// Internal to the media layer: wraps decoded frames as PixelBuffers without copying pixels.

#include "Platform/Media/PixelBuffer.h"

#include <memory>

namespace vi::media::detail {

class StorageHome;

class FrameAdopter {
public:
    FrameAdopter();
    ~FrameAdopter();

    // Moves the frame's references into a PixelBuffer (leaving `frame` empty); the decoder's
    // memory is released when the last copy of the buffer is gone.
    PixelBuffer adopt(AVFrame* frame, PixelFormat layout);

private:
    std::shared_ptr<StorageHome> home_;
};

} // namespace vi::media::detail
