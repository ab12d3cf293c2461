#include "Platform/Capture/FramePool.h"

#include "Platform/Capture/ShmImage.h"

namespace vi::capture {

std::shared_ptr<FramePool> FramePool::make(std::shared_ptr<XConnection> connection, int width, int height,
                                           int depth) {
    std::shared_ptr<FramePool> pool(new FramePool(width, height));
    for (int i = 0; i < depth; ++i) {
        pool->images_.push_back(std::make_unique<ShmImage>(connection, width, height));
        pool->free_.push_back(pool->images_.back().get());
    }
    return pool;
}

FramePool::~FramePool() = default;

ShmImage* FramePool::acquire() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return nullptr;
    auto* image = free_.back();
    free_.pop_back();
    return image;
}

void FramePool::giveBack(ShmImage* image) {
    std::lock_guard lock(mutex_);
    free_.push_back(image);
}

ScreenFramePtr FramePool::publish(ShmImage* image, double time) {
    auto frame = new ScreenFrame{image->data(), width_, height_, width_ * 4, time};
    // The frame keeps the pool (and so the images and their connection) alive.
    return ScreenFramePtr(frame, [pool = shared_from_this(), image](const ScreenFrame* released) {
        delete released;
        pool->giveBack(image);
    });
}

} // namespace vi::capture
