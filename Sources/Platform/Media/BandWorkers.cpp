#include "Platform/Media/BandWorkers.h"

#include <pthread.h>

namespace vi::media::detail {

BandWorkers::BandWorkers(int bands) : bands_(bands < 1 ? 1 : bands)
{
    for (int band = 1; band < bands_; ++band) {
        threads_.emplace_back([this, band] { serve(band); });
        pthread_setname_np(threads_.back().native_handle(), "vi.convert");
    }
}

BandWorkers::~BandWorkers()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void BandWorkers::run(Work work, void* context)
{
    {
        std::lock_guard lock(mutex_);
        work_ = work;
        context_ = context;
        pending_ = bands_ - 1;
        ++generation_;
    }
    wake_.notify_all();
    work(context, 0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
}

void BandWorkers::serve(int band)
{
    unsigned seen = 0;
    for (;;) {
        Work work = nullptr;
        void* context = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
            work = work_;
            context = context_;
        }
        work(context, band);
        {
            std::lock_guard lock(mutex_);
            --pending_;
        }
        done_.notify_one();
    }
}

} // namespace vi::media::detail
