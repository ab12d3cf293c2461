#pragma once

#include "Platform/Raster/Blur.h"
#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"
#include "Platform/Raster/ResampleWeights.h"
#include "Platform/Raster/WorkerPool.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vi::raster {

enum class ResampleFilter {
    automatic, // Lanczos-3 along an axis that shrinks by more than 0.1%, bilinear otherwise
    lanczos,   // Lanczos-3, widened by the shrink factor when shrinking
    bilinear,  // the two nearest source pixels, as a plain affine transform samples
};

// The inner loops' instruction sets, fastest first; a level the processor lacks falls to the next.
enum class ResampleLoops { fastest, ssse3, portable };

struct ResampleOptions {
    Edges edges = Edges::clamp;
    ResampleFilter filter = ResampleFilter::automatic;
    bool mirrored = false; // flip left and right within the mapped rectangles
};

// Scales and places pictures with sub-pixel precision: zoomed views move by fractions of a
// pixel every frame, and snapping them to whole pixels would make them judder.
//
// The filter weights of every output row and column are computed once per call into buffers
// this object keeps, the rows are split over the worker pool, and the inner loops run in
// 16-bit fixed point (AVX2 or SSSE3 where the processor has them). Scratch memory is reused between calls,
// so a resampler should live as long as its caller renders frames; it serves one thread at a time.
class Resampler {
public:
    explicit Resampler(WorkerPool& pool = WorkerPool::shared()) : pool_(&pool) {}

    // Fills every pixel of `target`: the source picture with its rectangle `from` (canvas
    // coordinates of the source, fractional allowed) stretched onto `to` (canvas coordinates).
    // The mapping continues beyond both rectangles; beyond the source's extent its edge pixels
    // repeat (clamped edges) or it is transparent.
    void render(const Image& source, const RectF& from, const RectF& to, Bitmap& target,
                const ResampleOptions& options = {});

    // The same into a new image covering the pixels that `to` touches.
    Image resample(const Image& source, const RectF& from, const RectF& to, const ResampleOptions& options = {});

    // Caps the instruction set of the inner loops below the fastest the processor has (tests and
    // benchmarks compare them; every level gives the same pixels).
    void setLoops(ResampleLoops loops) { loops_ = loops; }

private:
    // Weights are kept for the mapping they were made for: a view that holds still (most
    // frames of an export) reuses them.
    struct Prepared {
        AxisMapping mapping;
        Edges edges;
        ResampleFilter filter;
        friend bool operator==(const Prepared&, const Prepared&) = default;
    };
    bool prepare(AxisWeights& axis, std::optional<Prepared>& prepared, const AxisMapping& mapping,
                 const ResampleOptions& options);

    WorkerPool* pool_;
    ResampleLoops loops_ = ResampleLoops::fastest;
    AxisWeights columns_;
    AxisWeights rows_;
    std::optional<Prepared> preparedColumns_;
    std::optional<Prepared> preparedRows_;
    bool spreadReady_ = false; // spreadColumnWeights_ matches columns_
    std::vector<std::int16_t> spreadColumnWeights_;
};

// Moves an image by a fractional offset and scales it about the canvas origin:
// each source point p lands on p * scale + offset. Transparent beyond the image.
Image transformImage(const Image& image, double scaleX, double scaleY, double offsetX, double offsetY,
                     ResampleFilter filter = ResampleFilter::automatic);

} // namespace vi::raster
