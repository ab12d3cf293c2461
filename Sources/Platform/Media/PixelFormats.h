#pragma once

// Internal to the media layer: translations between our picture descriptions and FFmpeg's.

#include "Platform/Media/PixelBuffer.h"

#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace vi::media::detail {

AVPixelFormat toAVPixelFormat(PixelFormat format);
// Our layout for an FFmpeg one, when we have it (full-range "J" variants count as yuv420p).
std::optional<PixelFormat> fromAVPixelFormat(int format);
AVColorSpace toAVColorSpace(ColorMatrix matrix);
AVColorRange toAVColorRange(ColorRange range);

// The matrix and range a decoded frame was made with; untagged video follows the usual
// convention (BT.601 below 720 lines, BT.709 from there, limited range).
ColorMatrix matrixOf(const AVFrame* frame);
ColorRange rangeOf(const AVFrame* frame);

} // namespace vi::media::detail
