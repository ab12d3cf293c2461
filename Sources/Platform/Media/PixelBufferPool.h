#pragma once

#include "Platform/Media/PixelBuffer.h"

#include <cstddef>
#include <memory>

struct AVBufferPool;

namespace vi::media {

namespace detail {
class StorageHome;
}

// Hands out pictures of one layout and size, recycling the memory of released ones, so a loop
// that reads, composes or writes frames allocates no pixel memory once it runs. Buffers may be
// released on any thread and may outlive the pool. Rows start 64-byte aligned.
class PixelBufferPool {
public:
    // Throws MediaError (invalidArgument) for a size that is not positive or too large.
    PixelBufferPool(PixelFormat format, int width, int height,
                    ColorMatrix matrix = ColorMatrix::bt709, ColorRange range = ColorRange::limited);
    ~PixelBufferPool();
    PixelBufferPool(const PixelBufferPool&) = delete;
    PixelBufferPool& operator=(const PixelBufferPool&) = delete;

    // A buffer held by the caller alone; its pixels are whatever the last user left.
    PixelBuffer acquire();

    PixelFormat format() const { return format_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // How many distinct buffers the pool has ever made: stays put in a steady loop.
    size_t buffersMade() const;

private:
    PixelFormat format_;
    int width_;
    int height_;
    ColorMatrix matrix_;
    ColorRange range_;
    int bytesPerPicture_ = 0;
    std::array<int, 3> strides_{};
    std::array<int, 3> planeOffsets_{};
    AVBufferPool* memory_ = nullptr;
    std::shared_ptr<detail::StorageHome> home_;
};

} // namespace vi::media
