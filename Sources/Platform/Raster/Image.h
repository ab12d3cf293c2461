#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vi::raster {

class Image;

// A writable premultiplied BGRA raster owned by one thread at a time. Drawing happens
// here; freeze() turns it into an Image that many threads may read.
class Bitmap {
public:
    Bitmap() = default;
    // A transparent raster; throws std::length_error for negative or unreasonably large sizes.
    Bitmap(int width, int height, IntPoint origin = {});
    explicit Bitmap(const IntRect& extent) : Bitmap(extent.width, extent.height, {extent.x, extent.y}) {}
    // A writable copy of an image's pixels, at the image's origin.
    static Bitmap copyOf(const Image& image);
    // The part of this bitmap inside `area` (canvas coordinates) as a bitmap of its own that
    // draws into the same pixels: steps that should touch only that part draw there without a
    // copy. Empty when they do not overlap. Not to be frozen while the whole is still drawn on.
    Bitmap region(const IntRect& area);

    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    bool isNull() const { return !bits_; }
    int width() const { return width_; }
    int height() const { return height_; }
    IntPoint origin() const { return origin_; }
    void setOrigin(IntPoint origin) { origin_ = origin; }
    IntRect extent() const { return {origin_.x, origin_.y, width_, height_}; }
    std::ptrdiff_t stride() const { return stride_; }

    // The pixel memory; holding a copy keeps it alive beyond this bitmap (see QtBridge).
    using Storage = std::shared_ptr<std::uint8_t>;
    const Storage& storage() const { return bits_; }

    std::uint8_t* bits() { return bits_.get(); }
    std::uint8_t* row(int y) { return bits_.get() + y * stride_; }
    const std::uint8_t* row(int y) const { return bits_.get() + y * stride_; }
    Pixel* pixels(int y) { return reinterpret_cast<Pixel*>(row(y)); }
    const Pixel* pixels(int y) const { return reinterpret_cast<const Pixel*>(row(y)); }
    // Local coordinates (0,0 is the top-left pixel of this raster).
    Pixel& at(int x, int y) { return pixels(y)[x]; }

    void clear(Pixel value = {});

    // Hands the pixels over to an immutable Image; this bitmap is empty afterwards.
    Image freeze() &&;

private:
    std::shared_ptr<std::uint8_t> bits_;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    IntPoint origin_;
};

// An immutable premultiplied BGRA raster placed on the canvas at its origin (its extent).
// Copies share the pixels; nothing can change them, so images pass freely between threads.
// Outside its extent an image is transparent.
class Image {
public:
    Image() = default;

    // Wraps pixels owned by `owner` (kept alive as long as any image refers to them).
    Image(std::shared_ptr<const void> owner, const std::uint8_t* bits, int width, int height,
          std::ptrdiff_t stride, IntPoint origin = {});

    bool isNull() const { return !bits_ || width_ <= 0 || height_ <= 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    IntPoint origin() const { return origin_; }
    IntRect extent() const { return {origin_.x, origin_.y, width_, height_}; }
    std::ptrdiff_t stride() const { return stride_; }

    const std::uint8_t* row(int y) const { return bits_.get() + y * stride_; }
    const Pixel* pixels(int y) const { return reinterpret_cast<const Pixel*>(row(y)); }
    // Canvas coordinates; transparent outside the extent.
    Pixel at(int x, int y) const;

    // The same pixels at another place on the canvas (no copy).
    Image translated(int dx, int dy) const;
    Image placedAt(IntPoint origin) const;
    // The part inside `area` (canvas coordinates), sharing the pixels; may be null when disjoint.
    Image cropped(const IntRect& area) const;

    // True when both refer to the very same pixel memory.
    bool sharesPixelsWith(const Image& other) const { return bits_ == other.bits_; }

private:
    std::shared_ptr<const std::uint8_t> bits_;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    IntPoint origin_;
};

// A single-colour image covering `area`.
Image solidImage(const Color& color, const IntRect& area);

} // namespace vi::raster
