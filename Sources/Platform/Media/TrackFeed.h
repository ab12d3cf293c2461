#pragma once

#include "Platform/Media/Composition.h"
#include "Platform/Media/PixelBuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace vi::media {

// The decoding thread of one video track of a player: reads the frames the track shows at
// successive output frames (frame i at i / fps) ahead of the workers that compose them. When a
// worker asks for a frame further on than the thread has got, the frames between are passed
// over (decoded, never converted, or skipped by seeking when a keyframe lies between), so a
// sped-up stretch costs as little decoding as it can. While the workers skip frames (they aim
// at frames that will still be due once made), the thread reads only the frames asked for.
class TrackFeed {
public:
    // `ahead`: how many frames it reads before they are asked for.
    TrackFeed(std::shared_ptr<const Composition> composition, int trackID, double fps, int ahead);
    ~TrackFeed();
    TrackFeed(const TrackFeed&) = delete;
    TrackFeed& operator=(const TrackFeed&) = delete;

    // Reads the same track of another composition (an edit that changed its timing) from the
    // next restart on, keeping the open file and decoder. The composition must have the track.
    void replace(std::shared_ptr<const Composition> composition);

    // Drops what was read and reads on from output frame `first`.
    void restart(int64_t first);
    // Names the reading since the last restart, for asking for frames of it (below).
    uint64_t generation() const;

    struct Frame {
        PixelBuffer picture; // empty when the track shows nothing at that time
        bool readFailed = false;
    };
    // The track's frame at output frame `index` of the reading `generation`, waiting for it to
    // be read. Nothing when the frame was passed over or the feed restarted since: a request
    // meant for an earlier reading leaves the current one alone (it would otherwise pull the
    // reading past the frames wanted now).
    std::optional<Frame> frame(int64_t index, uint64_t generation);

private:
    void run();
    // With the lock held: the frame to read next, or nothing when there is nothing to read yet.
    std::optional<int64_t> nextToRead() const;

    std::shared_ptr<const Composition> composition_;
    int trackID_;
    double fps_;
    int ahead_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t generation_ = 0;
    // The generation now and the one the frame being read belongs to, for the reader to stop
    // early when a restart made that frame unwanted (read without the lock).
    std::atomic<uint64_t> latestGeneration_{0};
    std::atomic<uint64_t> readingGeneration_{0};
    int64_t next_ = 0;         // the next frame to read
    int64_t wanted_ = 0;       // the furthest frame asked for in this run
    bool skipping_ = false;    // the requests skip frames: read only what is asked for
    bool restarted_ = false;   // nothing read since the last restart: the first frame is wanted at once
    std::multiset<int64_t> asked_; // frames workers wait for
    std::map<int64_t, Frame> frames_;
    std::shared_ptr<const Composition> replacement_; // taken by the thread at its next read
    bool quit_ = false;
    std::thread thread_;
};

} // namespace vi::media
