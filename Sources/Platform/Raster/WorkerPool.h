#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vi::raster {

// A small fixed set of threads that split row ranges of one raster operation between them.
// The calling thread always takes part, so a pool of concurrency 1 runs everything inline
// and nested or concurrent calls from several threads cannot starve each other.
class WorkerPool {
public:
    // `concurrency` counts the caller: 1 means no extra threads.
    explicit WorkerPool(int concurrency);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The process-wide pool raster operations use unless given another one.
    static WorkerPool& shared();

    int concurrency() const { return int(threads_.size()) + 1; }

    // Calls body(begin, end) for consecutive ranges covering [0, count), in parallel, and
    // returns when all are done. Ranges hold at least `grain` items (except the last).
    void parallelFor(int count, const std::function<void(int begin, int end)>& body, int grain = 1);

private:
    struct Job;
    void workerLoop();
    static bool runOneChunk(Job& job);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Job*> jobs_; // reserved up front: posting a job allocates nothing
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace vi::raster
