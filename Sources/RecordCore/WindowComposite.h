#pragma once

#include "Platform/Raster/Image.h"
#include "Platform/Raster/WorkerPool.h"

#include <vector>

namespace vi {

// Puts the window's picture on the backdrop through the window's rounded mask, in place: the
// picture is drawn straight into the canvas's window area first, and one pass over the canvas
// then copies the backdrop outside the mask and blends only the anti-aliased edge. Rows or
// parts of rows the mask covers fully are left as drawn. This is the largest per-frame step
// after scaling the source, so it never touches a pixel it can leave.
class WindowComposite {
public:
    WindowComposite() = default;
    // `mask`: white shape on transparent (its alpha is the coverage), placed on the canvas.
    explicit WindowComposite(raster::Image mask);

    // canvas = backdrop, with picture x m + backdrop x (1 - m) inside the mask, where the
    // picture is what the canvas holds over `drawn` (canvas pixels) and transparent elsewhere.
    // The canvas and the backdrop have the same size at the origin. Nothing outside `within`
    // (canvas pixels; all of it when empty) is written.
    void compose(raster::Bitmap& canvas, const raster::Image& backdrop, const raster::IntRect& drawn,
                 raster::WorkerPool& pool, const raster::IntRect& within = {}) const;

    const raster::Image& mask() const { return mask_; }

private:
    struct Span {
        int begin = 0; // canvas x of the first fully covered pixel of a mask row
        int end = 0;   // one past the last; begin == end when the row has none
    };
    raster::Image mask_;
    std::vector<Span> full_; // one per mask row
};

// The camera bubble in one pass over its area: its shadow and ring (`under`) laid over the
// canvas, then the camera picture shown through the bubble's `mask`. Where the mask covers
// fully the picture is copied, so the shadow under it costs nothing.
void composeBubble(raster::Bitmap& canvas, const raster::Image& under, const raster::Image& picture,
                   const raster::Image& mask, raster::WorkerPool& pool);

} // namespace vi
