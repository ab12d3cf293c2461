#include "Platform/Media/ConversionStage.h"

#include <pthread.h>

namespace vi::media::detail {

ConversionStage::ConversionStage(std::function<PixelBuffer(AVFrame*)> convert)
    : convert_(std::move(convert)), job_(makeFrame())
{
}

ConversionStage::~ConversionStage()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ConversionStage::submit(AVFrame* frame, MediaTime time)
{
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { serve(); });
        pthread_setname_np(thread_.native_handle(), "vi.read.convert");
    }
    {
        std::lock_guard lock(mutex_);
        av_frame_unref(job_.get());
        av_frame_move_ref(job_.get(), frame);
        jobTime_ = time;
        hasJob_ = true;
    }
    busy_ = true;
    changed_.notify_all();
}

VideoFrame ConversionStage::collect()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return hasResult_; });
    hasResult_ = false;
    busy_ = false;
    if (failure_) {
        std::exception_ptr failure = std::move(failure_);
        failure_ = nullptr;
        std::rethrow_exception(failure);
    }
    return VideoFrame{std::move(result_), jobTime_};
}

void ConversionStage::discard() noexcept
{
    if (!busy_)
        return;
    try {
        collect();
    } catch (...) {
        // A frame nobody will see: its failure does not matter.
    }
}

void ConversionStage::serve()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || hasJob_; });
        if (stopping_)
            return;
        hasJob_ = false;
        lock.unlock();
        PixelBuffer picture;
        std::exception_ptr failure;
        try {
            picture = convert_(job_.get());
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        result_ = std::move(picture);
        failure_ = failure;
        hasResult_ = true;
        changed_.notify_all();
    }
}

} // namespace vi::media::detail
