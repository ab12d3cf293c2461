#pragma once

#include "Platform/Raster/Image.h"
#include "Platform/Raster/WorkerPool.h"
#include "RecordCore/CameraStyle.h"
#include "RecordCore/CaptionLook.h"
#include "RecordCore/Cards.h"
#include "RecordCore/CompositorGeometry.h"
#include "RecordCore/FrameState.h"
#include "RecordCore/Look.h"
#include "RecordCore/NRect.h"
#include "RecordCore/OutputFormat.h"
#include "RecordCore/PointerStyle.h"
#include "RecordCore/WindowComposite.h"

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vi {

// Turns one source frame of a recording and the state of its output frame into the finished
// picture of an output format: the view of the source in a rounded window over the backdrop,
// with click effects, the redrawn pointer, title card, speed pill, clock, camera bubble,
// caption and end card.
//
// Everything that does not change from frame to frame is prepared once here: the backdrop
// with the window's shadow, rim and header title baked into one bitmap, the window mask, the
// pointer and click-effect images, the cards and the bubble's shadow and ring. A frame then
// only crops, scales the source once, places and fades overlays and composites.
//
// Immutable after construction except for the cache of text overlays (pill, clock, caption
// lines), which is guarded by its own lock; `frame` may be called from any number of threads
// at once. Made per render; a change of look, cards, styles, crop, format or scale needs a new
// one.
class Compositor final {
public:
    // The camera bubble as prepared for every frame.
    struct Bubble {
        CompositorGeometry::Bubble place; // canvas geometry, bottom-left origin
        raster::Image mask;               // the bubble's shape, white
        raster::Image under;              // its shadow and ring, baked
        bool mirror = true;
    };

    // `sourceAspect` (width over height of the cropped source) places the 16:9 window; `crop`
    // is the part of the recorded frame the render shows. The worker pool splits the rows of a
    // frame's larger steps; a pool of concurrency 1 keeps each frame on its caller's thread.
    Compositor(OutputFormat format, double sourceAspect, const Look& look, const Cards& cards, double scale,
               std::optional<NRect> crop, std::optional<CameraStyle> camera, PointerStyle pointer,
               std::optional<CaptionLook> captions, raster::WorkerPool& pool = raster::WorkerPool::shared());

    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // The picture of one output frame, exactly the canvas's size. `source` is the recorded
    // frame at its full size; `camera` the matching camera frame, if any.
    raster::Image frame(const raster::Image& source, const FrameState& state, const raster::Image* camera) const;
    // The same into `into`, which is made canvas-sized when it is not (reuse it between frames
    // to spare the allocation).
    void frame(const raster::Image& source, const FrameState& state, const raster::Image* camera,
               raster::Bitmap& into) const;

    // What a canvas kept between frames was last painted with. Starts empty: the first frame
    // on a canvas paints all of it.
    struct Painted {
        const Compositor* by = nullptr;
        NRect view;
        bool title = false;
        bool endCard = false;
        std::vector<raster::IntRect> overlays; // canvas areas of the overlays laid last time
    };
    // The same for a caller that keeps `canvas` between frames (an export's composing thread):
    // a screen recording mostly holds still, so only what can differ from the frame the canvas
    // holds (`painted`, updated here) is painted again. `sourceChanges` lists the areas of
    // `source` (its pixels) that differ from the source that frame was painted from; none
    // when any may. Returns the areas repainted (even corners, inside the canvas): everywhere
    // else the canvas already held this frame.
    std::vector<raster::IntRect> frameUpdate(const raster::Image& source,
                                             const std::optional<std::vector<raster::IntRect>>& sourceChanges,
                                             const FrameState& state, const raster::Image* camera,
                                             raster::Bitmap& canvas, Painted& painted) const;

    int width() const { return width_; }
    int height() const { return height_; }
    OutputFormat format() const { return format_; }
    double scale() const { return scale_; }
    // The video window, canvas pixels with the origin at the bottom-left.
    const CompositorGeometry::Rect& window() const { return window_; }
    double cornerRadius() const { return radius_; }
    // Whether the backdrop counts as light (a softer shadow and a dark rim).
    bool light() const { return light_; }
    const raster::Image& backdrop() const { return backdrop_; }
    const std::optional<Bubble>& bubble() const { return bubble_; }
    bool hasTitleCard() const { return !titleCard_.isNull(); }
    bool hasEndCard() const { return !endCard_.isNull(); }
    // How many text overlays the cache holds.
    std::size_t cachedOverlays() const;

    // The cache is emptied wholesale when an insertion finds more entries than this, which
    // bounds its memory without tracking use.
    static constexpr std::size_t overlayCacheLimit = 4000;

private:
    class FramePainter;
    friend class FramePainter;

    // The cached overlay for `key`, made by `make` (under the lock) when missing.
    template <typename Make>
    raster::Image cachedOverlay(const std::string& key, Make&& make) const;

    raster::WorkerPool* pool_;
    OutputFormat format_;
    double scale_;
    int width_;
    int height_;
    CompositorGeometry::Rect window_;
    double radius_;
    bool light_ = false;
    raster::Image backdrop_;
    WindowComposite windowMask_; // the window's rounded shape and how it lays the picture on
    raster::Image pointerImage_;
    raster::Image rippleImage_;
    raster::Image titleCard_;
    raster::Image endCard_;
    PointerStyle pointerStyle_;
    std::optional<CaptionLook> captions_;
    std::optional<NRect> crop_;
    std::optional<Bubble> bubble_;

    mutable std::mutex cacheLock_;
    mutable std::unordered_map<std::string, raster::Image> cache_;
};

template <typename Make>
raster::Image Compositor::cachedOverlay(const std::string& key, Make&& make) const {
    // Made while holding the lock, so that frames needing the same new overlay make it once.
    std::lock_guard lock(cacheLock_);
    if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
    raster::Image image = make();
    if (cache_.size() > overlayCacheLimit) cache_.clear();
    cache_.emplace(key, image);
    return image;
}

} // namespace vi
