#pragma once

// Internal to activity measuring: the per-frame work of the offline analysis, on a thread of its
// own so that the decoder never waits while a frame's sample points are measured.

#include "RecordCore/ChangeMask.h"

#include "Platform/Media/PixelBuffer.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vi::ActivityAnalyzer::detail {

class FrameMeasurer {
public:
    FrameMeasurer(int cols, int rows);
    // Stops the measuring thread, dropping frames not yet measured.
    ~FrameMeasurer();
    FrameMeasurer(const FrameMeasurer&) = delete;
    FrameMeasurer& operator=(const FrameMeasurer&) = delete;

    // Queues the next measured frame; waits while a few frames are already waiting, so the
    // decoder's pictures are held only briefly.
    void add(media::PixelBuffer picture);

    // Waits until every queued frame is measured and returns the change masks in order, one per
    // frame added. Rethrows what the measuring threw.
    ChangeMaskList finish();

private:
    void run();
    void measure(const media::PixelBuffer& picture);

    const int cols_;
    const int rows_;
    // Measuring thread only:
    std::vector<std::uint8_t> grid_;
    std::vector<std::uint8_t> previous_; // empty until the first frame is measured
    ChangeMaskList masks_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<media::PixelBuffer> queue_; // guarded by mutex_
    bool closing_ = false;                 // guarded by mutex_
    std::exception_ptr error_;             // guarded by mutex_
    std::thread thread_;
};

} // namespace vi::ActivityAnalyzer::detail
