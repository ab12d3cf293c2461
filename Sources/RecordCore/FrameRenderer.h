#pragma once

#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/Compositor.h"
#include "RecordCore/Plan.h"
#include "RecordCore/Scene.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vi {

// Produces the video frames of one export: for output frame i at t = i / fps it picks the source
// frame to show (the last one, in reading order, whose output time is at most t; the first one
// before any qualifies; the last one read once the source has run out) and the camera frame,
// composes them with the scene's state of t, and appends the picture to the writer at t.
//
// Picking runs on the thread that calls `run`, reading the source and camera forward once.
// Frames are composed in parallel on the renderer's own threads and handed to the writer in
// order by one more thread. Source frames passed over in sped-up stretches are decoded but never
// converted or composed. A screen recording mostly holds still: each composing thread keeps the
// frame it made last and redoes only the areas where the next one differs (where the decoded
// source changed, where overlays were and are), from the source's conversion to BGRA through
// composing to the conversion to 4:2:0. Camera frames are converted once.
class FrameRenderer {
public:
    struct Inputs {
        const Plan& plan;
        double fps = 60;
        media::VideoTrackReader& source;   // the recording's video, read in its native layout
        media::AssetWriter& writer;
        int videoTrack = 0;                // the writer's video track
        const Compositor& compositor;
        std::function<void(double)> progress; // every 30 frames, fraction of `total`; may be empty
        const Scene& scene;
        int total = 1;                     // frames to write
        media::VideoTrackReader* camera = nullptr;
        double cameraOffset = 0;           // camera time = source time - cameraOffset
        int composeThreads = 1;
    };

    explicit FrameRenderer(Inputs inputs);
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Makes and appends every frame. Returns when `total` frames are written, when a failure
    // ended the work (kept in `failure`), or when the source gave no readable frame at all.
    void run();

    int frames() const;
    // The first failure: a write the writer refused (MediaError) or a source that could not be
    // read on; none when every frame was written.
    std::exception_ptr failure() const;

    // A frame as read; a camera frame is converted to BGRA at most once and only when some
    // output frame shows it.
    class Picture;
    using PicturePtr = std::shared_ptr<Picture>;

    // Frames within this of an output time count as showing at it.
    static constexpr double timeTolerance = 0.000001;
    // The camera's first frame is drawn from this long before its time; after its last frame
    // the bubble keeps showing it this long, then draws nothing.
    static constexpr double cameraLead = 0.1;
    static constexpr double cameraHold = 0.5;
    static constexpr int progressEvery = 30;

private:
    struct Job {
        int index = 0;
        double time = 0;
        PicturePtr source;
        PicturePtr camera;
    };
    struct Timed {
        PicturePtr picture;
        double time = 0; // output time (source) or the camera file's own time (camera)
    };

    std::optional<Timed> readSource();
    std::optional<Timed> readCamera();
    PicturePtr cameraAt(double sourceTime);
    bool pickNext(Job& job);

    void composeLoop();
    void appendLoop();
    void fail(std::exception_ptr error);
    bool stopped() const;

    Inputs in_;
    std::optional<Timed> current_, upcoming_;
    std::optional<Timed> cameraNow_, cameraNext_;
    bool cameraStarted_ = false;
    int picked_ = 0;
    SourceTimeCursor sourceTimes_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;                     // picked, waiting for a composer
    std::map<int, media::PixelBuffer> composed_; // waiting for their turn at the writer
    int appended_ = 0;
    bool pickingDone_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::unique_ptr<media::PixelBufferPool> yuvPool_; // the pictures handed to the writer
    int window_ = 0; // how many frames may be picked ahead of the writer
};

} // namespace vi
