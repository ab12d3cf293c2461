#include "Platform/Media/PixelStorage.h"

#include <new>

extern "C" {
#include <libavutil/frame.h>
}

namespace vi::media::detail {

StorageHome::~StorageHome()
{
    for (PixelStorage* storage : idle_) {
        av_frame_free(&storage->frame);
        delete storage;
    }
}

PixelStorage* StorageHome::take()
{
    PixelStorage* storage = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            storage = idle_.back();
            idle_.pop_back();
        } else {
            ++made_;
        }
    }
    if (!storage) {
        storage = new PixelStorage;
        storage->frame = av_frame_alloc();
        if (!storage->frame) {
            delete storage;
            throw std::bad_alloc();
        }
        // Room for every holder this home will have out at once, so giving back never allocates.
        std::lock_guard lock(mutex_);
        idle_.reserve(made_);
    }
    storage->references.store(1, std::memory_order_relaxed);
    storage->home = shared_from_this();
    return storage;
}

void StorageHome::giveBack(PixelStorage* storage)
{
    std::lock_guard lock(mutex_);
    idle_.push_back(storage);
}

size_t StorageHome::holdersMade() const
{
    std::lock_guard lock(mutex_);
    return made_;
}

} // namespace vi::media::detail
