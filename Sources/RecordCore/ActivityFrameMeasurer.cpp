#include "RecordCore/ActivityFrameMeasurer.h"

#include "RecordCore/ActivityAnalyzer.h"

namespace vi::ActivityAnalyzer::detail {

namespace {
// Frames waiting to be measured before the reader waits: enough to ride out an uneven decode,
// few enough that the decoder's picture pool stays small.
constexpr std::size_t queueDepth = 3;
} // namespace

FrameMeasurer::FrameMeasurer(int cols, int rows)
    : cols_(cols), rows_(rows),
      grid_(static_cast<std::size_t>(cols) * points * static_cast<std::size_t>(rows) * points, 0),
      masks_(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows)), thread_([this] { run(); })
{
}

FrameMeasurer::~FrameMeasurer()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void FrameMeasurer::add(media::PixelBuffer picture)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < queueDepth || error_; });
    if (error_) {
        return; // finish() reports it
    }
    queue_.push_back(std::move(picture));
    lock.unlock();
    changed_.notify_all();
}

ChangeMaskList FrameMeasurer::finish()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (error_) {
        std::rethrow_exception(error_);
    }
    return std::move(masks_);
}

void FrameMeasurer::run()
{
    for (;;) {
        media::PixelBuffer picture;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
            if (queue_.empty()) {
                return;
            }
            picture = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();
        try {
            measure(picture);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            error_ = std::current_exception();
            queue_.clear();
            changed_.notify_all();
            return;
        }
    }
}

void FrameMeasurer::measure(const media::PixelBuffer& picture)
{
    lumaGrid(picture.view(), cols_ * points, rows_ * points, grid_);
    const auto mask = masks_.appendUnchanged();
    if (!previous_.empty()) {
        changedCells(previous_, grid_, cols_, rows_, mask);
    }
    previous_.assign(grid_.begin(), grid_.end());
}

} // namespace vi::ActivityAnalyzer::detail
