#pragma once

// Internal to the media layer: the shared state behind PixelBuffer and the pools that recycle it.

#include "Platform/Media/PixelBuffer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace vi::media::detail {

class StorageHome;

// One AVFrame with a reference count. When the count drops to zero the frame's references are
// dropped (the pixel memory returns to whichever FFmpeg buffer pool owns it) and the holder
// goes back to its home for the next picture, so steady state creates no new holders.
struct PixelStorage {
    AVFrame* frame = nullptr;
    std::atomic<int> references{1};
    std::shared_ptr<StorageHome> home;
    PixelFormat format = PixelFormat::bgra;
};

// Keeps released holders for reuse; shared by the pool and every holder it made, so buffers
// may outlive the pool that made them.
class StorageHome : public std::enable_shared_from_this<StorageHome> {
public:
    ~StorageHome();

    // A holder with an empty frame and a reference count of one.
    PixelStorage* take();
    void giveBack(PixelStorage* storage);
    size_t holdersMade() const;

private:
    mutable std::mutex mutex_;
    std::vector<PixelStorage*> idle_;
    size_t made_ = 0;
};

} // namespace vi::media::detail
