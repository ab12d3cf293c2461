#include "Platform/Raster/WorkerPool.h"

#include <algorithm>
#include <atomic>

namespace vi::raster {

namespace {
// More threads than this buy nothing for memory-bound row loops and crowd out the decoder
// and encoder threads that run beside the compositor.
constexpr int kMaxSharedConcurrency = 8;
// Each thread gets a few chunks so that uneven rows still balance.
constexpr int kChunksPerThread = 4;
// Jobs posted at once by different callers; more only costs an allocation.
constexpr std::size_t kExpectedConcurrentJobs = 64;
} // namespace

struct WorkerPool::Job {
    const std::function<void(int, int)>* body = nullptr;
    int count = 0;
    int chunk = 1;
    std::atomic<int> next{0};
    std::mutex mutex;
    std::condition_variable done;
    int finished = 0; // items whose body has returned; guarded by mutex
    int users = 0;    // workers holding a pointer to this job; guarded by mutex
};

WorkerPool::WorkerPool(int concurrency) {
    jobs_.reserve(kExpectedConcurrentJobs);
    const int extra = std::max(0, concurrency - 1);
    threads_.reserve(std::size_t(extra));
    for (int i = 0; i < extra; ++i) {
        threads_.emplace_back([this] { workerLoop(); });
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

WorkerPool& WorkerPool::shared() {
    static WorkerPool pool(std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxSharedConcurrency));
    return pool;
}

bool WorkerPool::runOneChunk(Job& job) {
    const int begin = job.next.fetch_add(job.chunk, std::memory_order_relaxed);
    if (begin >= job.count) {
        return false;
    }
    const int end = std::min(job.count, begin + job.chunk);
    (*job.body)(begin, end);
    std::lock_guard lock(job.mutex);
    job.finished += end - begin;
    if (job.finished == job.count) {
        job.done.notify_all();
    }
    return true;
}

void WorkerPool::parallelFor(int count, const std::function<void(int, int)>& body, int grain) {
    if (count <= 0) {
        return;
    }
    const int parts = concurrency() * kChunksPerThread;
    const int chunk = std::max({1, grain, (count + parts - 1) / parts});
    if (threads_.empty() || chunk >= count) {
        body(0, count);
        return;
    }
    Job job;
    job.body = &body;
    job.count = count;
    job.chunk = chunk;
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(&job);
    }
    wake_.notify_all();
    while (runOneChunk(job)) {
    }
    {
        // After this no worker can pick the job up; those that already did are counted in users.
        std::lock_guard lock(mutex_);
        jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), &job), jobs_.end());
    }
    std::unique_lock lock(job.mutex);
    job.done.wait(lock, [&] { return job.finished == job.count && job.users == 0; });
}

void WorkerPool::workerLoop() {
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = jobs_.front();
            std::lock_guard jobLock(job->mutex);
            ++job->users;
            // Every chunk is claimed or about to be: drop the job so idle workers do not spin on it.
            if (job->next.load(std::memory_order_relaxed) >= job->count) {
                jobs_.erase(jobs_.begin());
            }
        }
        while (runOneChunk(*job)) {
        }
        std::lock_guard jobLock(job->mutex);
        --job->users;
        job->done.notify_all();
    }
}

} // namespace vi::raster
