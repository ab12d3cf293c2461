#pragma once

// Internal to the media layer: the conversion every decoded source frame takes on its way to
// the compositor, from 8-bit 4:2:0 planes in limited range to BGRA. libswscale's path for it
// costs about a millisecond per 1080p frame; these loops take a fraction of that.

#include "Platform/Media/PixelBuffer.h"

#include <cstdint>

namespace vi::media::detail {

// The fixed-point terms of one matrix. All arithmetic is in 16-bit lanes with six fractional
// bits, so that every loop (portable, SSE2, AVX2) gives bit-identical results:
//   c = (chroma - 128) * 256, l = luma * 256 (unsigned)
//   luma term  = (l * luma) >> 16 (unsigned) + lumaOffset
//   red term   = (c_r * redFromCr) >> 16
//   green term = (c_b * greenFromCb) >> 16 + (c_r * greenFromCr) >> 16
//   blue term  = c_b / 2 + (c_b * blueFromCbBeyondTwo) >> 16
//   channel    = clamp(saturate16(luma term + chroma term) >> 6, 0, 255)
// (>> on signed values rounds down; the rounding half is folded into lumaOffset).
struct YuvToBgraTerms {
    std::uint16_t luma;
    std::int16_t lumaOffset;
    std::int16_t redFromCr;
    std::int16_t greenFromCb;
    std::int16_t greenFromCr;
    std::int16_t blueFromCbBeyondTwo; // the blue weight less 2, which alone would not fit 16 bits
};

constexpr int kYuvToBgraFractionBits = 6;

// Same-size conversion of 4:2:0 planes (any width and height; the chroma planes hold
// (width + 1) / 2 x (height + 1) / 2 samples) in limited range into BGRA with opaque alpha.
// Each chroma sample colours the 2 x 2 pixels whose top left it sits on.
void yuv420ToBgra(const ImageView& yuv, const ImageView& bgra, ColorMatrix matrix);

// The loops by instruction set, for tests that compare them; `rows` is 1 or 2 luma rows
// sharing one chroma row, `width` pixels each.
struct YuvRows {
    const std::uint8_t* luma[2];
    const std::uint8_t* cb;
    const std::uint8_t* cr;
    std::uint8_t* bgra[2];
    int rows;
    int width;
};
using YuvRowsLoop = void (*)(const YuvToBgraTerms& terms, const YuvRows& rows);
void yuvRowsPortable(const YuvToBgraTerms& terms, const YuvRows& rows, int fromPixel);
void yuvRowsSse2(const YuvToBgraTerms& terms, const YuvRows& rows);
bool yuvRowsAvx2Available();
void yuvRowsAvx2(const YuvToBgraTerms& terms, const YuvRows& rows);

const YuvToBgraTerms& yuvToBgraTerms(ColorMatrix matrix);

} // namespace vi::media::detail
