#include "Platform/Raster/Resample.h"

#include "Platform/Raster/ResampleKernels.h"

#include <algorithm>
#include <cmath>

namespace vi::raster {

namespace {

// Output rows per chunk handed to a worker: enough to amortise the hand-over.
constexpr int kRowGrain = 8;

// Everything the per-row work needs, passed to the pool through one pointer (a capture that
// small keeps std::function from allocating).
struct RowJob {
    const Image* source;
    Bitmap* target;
    const AxisWeights* columns;
    const AxisWeights* rows;
    const std::int16_t* lanes;
    const std::int16_t* sumOffsets;
    detail::ResampleKernels kernels;

    void run(int begin, int end) const {
        thread_local std::vector<std::int16_t> middle;
        thread_local std::vector<const std::uint8_t*> sourceRows;
        const int span = columns->sourceEnd - columns->sourceBegin;
        // Each intermediate row ends in a few values that the vector loops may read (at zero weight).
        const std::size_t rowStride = std::size_t(span) * 4 + detail::kHorizontalOverread;
        middle.resize(rowStride * detail::kRowsPerPass);
        sourceRows.resize(std::size_t(rows->taps));
        auto vertical = [&](int y, std::int16_t* out) {
            const int top = rows->start[std::size_t(y)];
            for (int t = 0; t < rows->taps; ++t) {
                sourceRows[std::size_t(t)] = source->row(top + t) + std::ptrdiff_t(columns->sourceBegin) * 4;
            }
            kernels.vertical(sourceRows.data(), rows->weights.data() + std::ptrdiff_t(y) * rows->taps,
                             rows->used[std::size_t(y)], span * 4, out);
        };
        // Several rows at a time share every load of the column weights and positions; a short
        // last group repeats its last row.
        const std::int16_t* mids[detail::kRowsPerPass];
        Pixel* outs[detail::kRowsPerPass];
        for (int y = begin; y < end; y += detail::kRowsPerPass) {
            const int group = std::min(detail::kRowsPerPass, end - y);
            for (int r = 0; r < detail::kRowsPerPass; ++r) {
                std::int16_t* mid = middle.data() + rowStride * std::size_t(r);
                if (r < group) {
                    vertical(y + r, mid);
                }
                mids[r] = r < group ? mid : mids[group - 1];
                outs[r] = target->pixels(y + std::min(r, group - 1));
            }
            kernels.horizontalRows(mids, columns->start.data(), columns->sourceBegin, columns->weights.data(), lanes,
                                   sumOffsets, columns->taps, target->width(), outs);
        }
    }
};

} // namespace

bool Resampler::prepare(AxisWeights& axis, std::optional<Prepared>& prepared, const AxisMapping& mapping,
                        const ResampleOptions& options) {
    const Prepared wanted{mapping, options.edges, options.filter};
    if (prepared == wanted) {
        return true;
    }
    prepared.reset();
    if (!computeAxisWeights(axis, mapping, options.edges, options.filter)) {
        return false;
    }
    prepared = wanted;
    return true;
}

void Resampler::render(const Image& source, const RectF& from, const RectF& to, Bitmap& target,
                       const ResampleOptions& options) {
    if (target.isNull() || target.width() == 0 || target.height() == 0) {
        return;
    }
    const AxisMapping columnMapping{target.origin().x, target.width(), from.x, from.width, to.x, to.width,
                                    source.origin().x, source.width(), options.mirrored};
    const AxisMapping rowMapping{target.origin().y, target.height(), from.y, from.height, to.y, to.height,
                                 source.origin().y, source.height(), false};
    if (preparedColumns_ != Prepared{columnMapping, options.edges, options.filter}) {
        spreadReady_ = false; // the spread copy follows the column weights
    }
    if (source.isNull() || !prepare(columns_, preparedColumns_, columnMapping, options) ||
        !prepare(rows_, preparedRows_, rowMapping, options)) {
        target.clear();
        return;
    }
    // The vector loops read whole pairs of column taps.
    const detail::ResampleKernels kernels =
        columns_.taps % 2 == 0 ? detail::kernelsUpTo(loops_) : detail::portableKernels();
    if (kernels.needsSpreadWeights && !spreadReady_) {
        spreadColumnWeights_.resize(std::size_t(detail::spreadColumnWeightCount(columns_.taps, target.width())));
        detail::spreadColumnWeights(columns_.weights.data(), columns_.taps, target.width(), spreadColumnWeights_.data());
        spreadReady_ = true;
    }
    const std::int16_t* lanes = spreadColumnWeights_.data();
    const std::int16_t* sumOffsets =
        kernels.needsSpreadWeights ? detail::spreadSumOffsets(lanes, columns_.taps, target.width()) : nullptr;
    const RowJob job{&source, &target, &columns_, &rows_, lanes, sumOffsets, kernels};
    pool_->parallelFor(target.height(), [context = &job](int begin, int end) { context->run(begin, end); }, kRowGrain);
}

Image Resampler::resample(const Image& source, const RectF& from, const RectF& to, const ResampleOptions& options) {
    if (to.isEmpty() || !std::isfinite(to.x + to.y + to.width + to.height)) {
        return {};
    }
    Bitmap target(to.enclosingPixels());
    render(source, from, to, target, options);
    return std::move(target).freeze();
}

Image transformImage(const Image& image, double scaleX, double scaleY, double offsetX, double offsetY,
                     ResampleFilter filter) {
    if (image.isNull() || scaleX == 0 || !(scaleY > 0)) {
        return {};
    }
    const RectF from = RectF::from(image.extent());
    const double left = from.x * scaleX + offsetX;
    const double right = from.right() * scaleX + offsetX;
    const RectF to{std::min(left, right), from.y * scaleY + offsetY, std::abs(right - left), from.height * scaleY};
    thread_local Resampler resampler;
    return resampler.resample(image, from, to, {Edges::transparent, filter, scaleX < 0});
}

} // namespace vi::raster
