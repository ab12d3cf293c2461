#include "Platform/Raster/Image.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace vi::raster {

namespace {

// Rows start on cache-line boundaries so vector loads of whole rows split no line needlessly.
constexpr std::size_t kRowAlignment = 64;
// 16384 x 16384 pixels is far beyond any canvas we draw (4K is 3840 x 2160); larger sizes
// are a caller's arithmetic gone wrong and would only exhaust memory.
constexpr std::int64_t kMaxPixels = std::int64_t(16384) * 16384;

std::shared_ptr<std::uint8_t> allocatePixels(std::size_t bytes) {
    const std::size_t rounded = (bytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    void* memory = std::aligned_alloc(kRowAlignment, rounded == 0 ? kRowAlignment : rounded);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    std::memset(memory, 0, bytes);
    return std::shared_ptr<std::uint8_t>(static_cast<std::uint8_t*>(memory), [](std::uint8_t* p) { std::free(p); });
}

} // namespace

Bitmap::Bitmap(int width, int height, IntPoint origin) : width_(width), height_(height), origin_(origin) {
    if (width < 0 || height < 0 || std::int64_t(width) * height > kMaxPixels) {
        throw std::length_error("raster size out of range: " + std::to_string(width) + " x " + std::to_string(height));
    }
    stride_ = std::ptrdiff_t(width) * 4;
    bits_ = allocatePixels(std::size_t(stride_) * std::size_t(height));
}

Bitmap Bitmap::copyOf(const Image& image) {
    Bitmap copy(image.width(), image.height(), image.origin());
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(copy.row(y), image.row(y), std::size_t(image.width()) * 4);
    }
    return copy;
}

Bitmap Bitmap::region(const IntRect& area) {
    const IntRect part = extent().intersected(area);
    Bitmap view;
    if (isNull() || part.isEmpty()) {
        return view;
    }
    std::uint8_t* first = row(part.y - origin_.y) + std::ptrdiff_t(part.x - origin_.x) * 4;
    view.bits_ = std::shared_ptr<std::uint8_t>(bits_, first);
    view.width_ = part.width;
    view.height_ = part.height;
    view.stride_ = stride_;
    view.origin_ = {part.x, part.y};
    return view;
}

void Bitmap::clear(Pixel value) {
    for (int y = 0; y < height_; ++y) {
        std::fill_n(pixels(y), width_, value);
    }
}

Image Bitmap::freeze() && {
    const std::uint8_t* first = bits_.get();
    Image image(std::shared_ptr<const void>(std::move(bits_)), first, width_, height_, stride_, origin_);
    width_ = 0;
    height_ = 0;
    stride_ = 0;
    return image;
}

Image::Image(std::shared_ptr<const void> owner, const std::uint8_t* bits, int width, int height,
             std::ptrdiff_t stride, IntPoint origin)
    : bits_(std::move(owner), bits), width_(width), height_(height), stride_(stride), origin_(origin) {}

Pixel Image::at(int x, int y) const {
    if (isNull() || !extent().contains(x, y)) {
        return {};
    }
    return pixels(y - origin_.y)[x - origin_.x];
}

Image Image::translated(int dx, int dy) const { return placedAt({origin_.x + dx, origin_.y + dy}); }

Image Image::placedAt(IntPoint origin) const {
    Image moved = *this;
    moved.origin_ = origin;
    return moved;
}

Image Image::cropped(const IntRect& area) const {
    const IntRect inside = extent().intersected(area);
    if (isNull() || inside.isEmpty()) {
        return {};
    }
    Image part = *this;
    const std::uint8_t* first = row(inside.y - origin_.y) + std::ptrdiff_t(inside.x - origin_.x) * 4;
    part.bits_ = std::shared_ptr<const std::uint8_t>(bits_, first);
    part.width_ = inside.width;
    part.height_ = inside.height;
    part.origin_ = {inside.x, inside.y};
    return part;
}

Image solidImage(const Color& color, const IntRect& area) {
    Bitmap bitmap(area);
    bitmap.clear(color.pixel());
    return std::move(bitmap).freeze();
}

} // namespace vi::raster
