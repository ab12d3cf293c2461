#pragma once

// Internal to the media layer: a few threads that split one picture conversion into horizontal
// bands, so converting a large frame costs a fraction of its single-threaded time. The threads
// are made once and wait between pictures, so a steady stream of frames creates nothing.

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vi::media::detail {

class BandWorkers {
public:
    using Work = void (*)(void* context, int band);

    // `bands` - 1 threads; the calling thread takes the first band itself.
    explicit BandWorkers(int bands);
    ~BandWorkers();
    BandWorkers(const BandWorkers&) = delete;
    BandWorkers& operator=(const BandWorkers&) = delete;

    int bands() const { return bands_; }

    // Runs work(context, band) for every band and returns when all are done.
    void run(Work work, void* context);

private:
    void serve(int band);

    int bands_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    Work work_ = nullptr;
    void* context_ = nullptr;
    unsigned generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};

} // namespace vi::media::detail
