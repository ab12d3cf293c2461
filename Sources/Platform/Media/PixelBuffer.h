#pragma once

#include <array>
#include <cstdint>

struct AVFrame;

namespace vi::media {

// The picture layouts the media layer hands out and takes in.
enum class PixelFormat {
    bgra,    // 8-bit B, G, R, A in one plane; alpha premultiplied (our pictures are opaque)
    yuv420p, // 8-bit planar Y, U, V with chroma halved in both directions
    nv12,    // 8-bit planar Y and interleaved UV, chroma halved in both directions
};

// How Y'CbCr values relate to R'G'B' (only meaningful for the YUV layouts).
enum class ColorMatrix { bt709, bt601 };
enum class ColorRange { limited, full };

// A borrowed picture: pointers into someone else's memory, valid while its owner keeps it.
struct ImageView {
    PixelFormat format = PixelFormat::bgra;
    int width = 0;
    int height = 0;
    std::array<const uint8_t*, 3> data{};
    std::array<int, 3> stride{};
    ColorMatrix matrix = ColorMatrix::bt709;
    ColorRange range = ColorRange::limited;

    static ImageView bgra(const uint8_t* pixels, int width, int height, int stride);
};

namespace detail {
struct PixelStorage;
}

// A picture with shared ownership: copies share the pixels, and the memory goes back to the
// pool it came from when the last copy is gone. Pixels may be written only while a buffer is
// held by one owner (a freshly acquired pool buffer); decoded frames are read-only.
// Copies may be passed between threads; one buffer's pixels must not be written concurrently.
class PixelBuffer {
public:
    PixelBuffer() = default;
    PixelBuffer(const PixelBuffer& other);
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(const PixelBuffer& other);
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;
    ~PixelBuffer();

    explicit operator bool() const { return storage_ != nullptr; }

    PixelFormat format() const;
    int width() const;
    int height() const;
    int planeCount() const;
    uint8_t* data(int plane = 0) const;
    int stride(int plane = 0) const;
    ColorMatrix matrix() const;
    ColorRange range() const;
    ImageView view() const;

    // The FFmpeg frame behind the buffer, for the media layer's own use.
    AVFrame* avFrame() const;

    explicit PixelBuffer(detail::PixelStorage* adopted) : storage_(adopted) {}

private:
    void release();
    detail::PixelStorage* storage_ = nullptr;
};

} // namespace vi::media
