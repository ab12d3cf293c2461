#include "Platform/Media/PixelBufferPool.h"

#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelStorage.h"
#include "Platform/Media/PixelFormats.h"

#include <new>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
}

namespace vi::media {

namespace {

// Row starts aligned for the widest SIMD loads of FFmpeg and our own loops.
constexpr int kRowAlignment = 64;
// Larger pictures than 16K on a side are a caller's mistake, and would overflow int sizes.
constexpr int kLargestSide = 16384;

int alignedRow(int bytes) { return (bytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment; }

} // namespace

PixelBufferPool::PixelBufferPool(PixelFormat format, int width, int height, ColorMatrix matrix, ColorRange range)
    : format_(format), width_(width), height_(height), matrix_(matrix), range_(range)
    , home_(std::make_shared<detail::StorageHome>())
{
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
        throw MediaError(MediaErrorKind::invalidArgument,
                         "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is not possible");
    if (format != PixelFormat::bgra && (width % 2 != 0 || height % 2 != 0))
        throw MediaError(MediaErrorKind::invalidArgument, "YUV pictures need an even width and height");
    const int chromaHeight = height / 2;
    switch (format) {
    case PixelFormat::bgra:
        strides_ = {alignedRow(width * 4), 0, 0};
        planeOffsets_ = {0, 0, 0};
        bytesPerPicture_ = strides_[0] * height;
        break;
    case PixelFormat::yuv420p:
        strides_ = {alignedRow(width), alignedRow(width / 2), alignedRow(width / 2)};
        planeOffsets_ = {0, strides_[0] * height, strides_[0] * height + strides_[1] * chromaHeight};
        bytesPerPicture_ = planeOffsets_[2] + strides_[2] * chromaHeight;
        break;
    case PixelFormat::nv12:
        strides_ = {alignedRow(width), alignedRow(width), 0};
        planeOffsets_ = {0, strides_[0] * height, 0};
        bytesPerPicture_ = planeOffsets_[1] + strides_[1] * chromaHeight;
        break;
    }
    // Leave slack after the last row: SIMD converters may read a little past it.
    memory_ = av_buffer_pool_init(static_cast<size_t>(bytesPerPicture_ + kRowAlignment), nullptr);
    if (!memory_)
        throw std::bad_alloc();
}

PixelBufferPool::~PixelBufferPool()
{
    // FFmpeg frees the pool's memory once the last outstanding buffer comes back.
    av_buffer_pool_uninit(&memory_);
}

PixelBuffer PixelBufferPool::acquire()
{
    AVBufferRef* memory = av_buffer_pool_get(memory_);
    if (!memory)
        throw std::bad_alloc();
    detail::PixelStorage* storage = home_->take();
    AVFrame* frame = storage->frame;
    frame->buf[0] = memory;
    frame->width = width_;
    frame->height = height_;
    frame->format = detail::toAVPixelFormat(format_);
    frame->colorspace = detail::toAVColorSpace(matrix_);
    frame->color_range = format_ == PixelFormat::bgra ? AVCOL_RANGE_JPEG : detail::toAVColorRange(range_);
    frame->color_primaries = AVCOL_PRI_BT709;
    frame->color_trc = AVCOL_TRC_BT709;
    for (size_t plane = 0; plane < 3; ++plane) {
        if (strides_[plane] == 0)
            continue;
        frame->data[plane] = memory->data + planeOffsets_[plane];
        frame->linesize[plane] = strides_[plane];
    }
    storage->format = format_;
    return PixelBuffer(storage);
}

size_t PixelBufferPool::buffersMade() const { return home_->holdersMade(); }

} // namespace vi::media
