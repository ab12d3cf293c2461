#pragma once

#include "Platform/Media/PixelBuffer.h"

#include <memory>

namespace vi::media {

// Converts pictures between layouts (and sizes) with the YUV matrix and range stated on the
// YUV side, never the library's BT.601 default: a BGRA frame written as BT.709 limited range
// and read back comes out the colour it went in. One converter serves one thread at a time;
// it keeps its scaler between calls, so a steady stream of same-shaped frames sets up once.
// Large same-size conversions are split into bands over a few threads of the converter's own.
class ColorConverter {
public:
    // `splitIntoBands` false keeps every conversion on the calling thread, for callers that
    // already convert several pictures at once on threads of their own.
    explicit ColorConverter(bool splitIntoBands = true);
    ~ColorConverter();
    ColorConverter(const ColorConverter&) = delete;
    ColorConverter& operator=(const ColorConverter&) = delete;

    // Fills `destination` (whose layout, size, matrix and range say what is wanted) from
    // `source`, scaling when the sizes differ. Throws MediaError (invalidArgument) for an
    // empty or impossible picture.
    void convert(const ImageView& source, const ImageView& destination, ColorMatrix destinationMatrix,
                 ColorRange destinationRange);
    void convert(const ImageView& source, const PixelBuffer& destination);

    // The same from a decoded frame of any layout FFmpeg knows (for the media layer's readers).
    void convertFrame(const AVFrame* source, const PixelBuffer& destination);

private:
    struct Side;
    struct Scaler;
    struct Bands;
    void convertSides(const Side& source, const Side& destination);
    void scale(Scaler& scaler, const Side& source, const Side& destination);

    std::unique_ptr<Scaler> scaler_;
    std::unique_ptr<Bands> bands_;
    bool splitIntoBands_ = true;
};

// The R'G'B' (0-255) of one Y'CbCr sample, as the converter computes it, for code that needs a
// handful of points of a YUV picture rather than the whole picture in BGRA.
struct Rgb {
    uint8_t r, g, b;
};
Rgb yuvToRgb(uint8_t y, uint8_t cb, uint8_t cr, ColorMatrix matrix, ColorRange range);

} // namespace vi::media
