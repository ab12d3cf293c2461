#include "Platform/Media/PixelBuffer.h"

#include "Platform/Media/PixelFormats.h"
#include "Platform/Media/PixelStorage.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vi::media {

ImageView ImageView::bgra(const uint8_t* pixels, int width, int height, int stride)
{
    ImageView view;
    view.format = PixelFormat::bgra;
    view.width = width;
    view.height = height;
    view.data[0] = pixels;
    view.stride[0] = stride;
    view.range = ColorRange::full;
    return view;
}

PixelBuffer::PixelBuffer(const PixelBuffer& other) : storage_(other.storage_)
{
    if (storage_)
        storage_->references.fetch_add(1, std::memory_order_relaxed);
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept : storage_(other.storage_)
{
    other.storage_ = nullptr;
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other)
{
    if (this != &other) {
        if (other.storage_)
            other.storage_->references.fetch_add(1, std::memory_order_relaxed);
        release();
        storage_ = other.storage_;
    }
    return *this;
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        storage_ = other.storage_;
        other.storage_ = nullptr;
    }
    return *this;
}

PixelBuffer::~PixelBuffer() { release(); }

void PixelBuffer::release()
{
    detail::PixelStorage* storage = storage_;
    storage_ = nullptr;
    if (!storage || storage->references.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    av_frame_unref(storage->frame);
    // The local keeps the home alive while the holder is handed back, even when this holder
    // was the last thing keeping it.
    std::shared_ptr<detail::StorageHome> home = std::move(storage->home);
    if (home) {
        home->giveBack(storage);
    } else {
        av_frame_free(&storage->frame);
        delete storage;
    }
}

PixelFormat PixelBuffer::format() const { return storage_ ? storage_->format : PixelFormat::bgra; }
int PixelBuffer::width() const { return storage_ ? storage_->frame->width : 0; }
int PixelBuffer::height() const { return storage_ ? storage_->frame->height : 0; }

int PixelBuffer::planeCount() const
{
    if (!storage_)
        return 0;
    switch (storage_->format) {
    case PixelFormat::bgra: return 1;
    case PixelFormat::nv12: return 2;
    case PixelFormat::yuv420p: return 3;
    }
    return 0;
}

uint8_t* PixelBuffer::data(int plane) const
{
    return storage_ && plane >= 0 && plane < planeCount() ? storage_->frame->data[plane] : nullptr;
}

int PixelBuffer::stride(int plane) const
{
    return storage_ && plane >= 0 && plane < planeCount() ? storage_->frame->linesize[plane] : 0;
}

ColorMatrix PixelBuffer::matrix() const
{
    return storage_ ? detail::matrixOf(storage_->frame) : ColorMatrix::bt709;
}

ColorRange PixelBuffer::range() const
{
    if (!storage_ || storage_->format == PixelFormat::bgra)
        return ColorRange::full;
    return detail::rangeOf(storage_->frame);
}

ImageView PixelBuffer::view() const
{
    ImageView view;
    if (!storage_)
        return view;
    view.format = format();
    view.width = width();
    view.height = height();
    for (int plane = 0; plane < planeCount(); ++plane) {
        view.data[static_cast<size_t>(plane)] = storage_->frame->data[plane];
        view.stride[static_cast<size_t>(plane)] = storage_->frame->linesize[plane];
    }
    view.matrix = matrix();
    view.range = range();
    return view;
}

AVFrame* PixelBuffer::avFrame() const { return storage_ ? storage_->frame : nullptr; }

} // namespace vi::media
