#include "Platform/Media/PixelFormats.h"

namespace vi::media::detail {

AVPixelFormat toAVPixelFormat(PixelFormat format)
{
    switch (format) {
    case PixelFormat::bgra: return AV_PIX_FMT_BGRA;
    case PixelFormat::yuv420p: return AV_PIX_FMT_YUV420P;
    case PixelFormat::nv12: return AV_PIX_FMT_NV12;
    }
    return AV_PIX_FMT_NONE;
}

std::optional<PixelFormat> fromAVPixelFormat(int format)
{
    switch (format) {
    case AV_PIX_FMT_BGRA: return PixelFormat::bgra;
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: return PixelFormat::yuv420p;
    case AV_PIX_FMT_NV12: return PixelFormat::nv12;
    default: return std::nullopt;
    }
}

AVColorSpace toAVColorSpace(ColorMatrix matrix)
{
    return matrix == ColorMatrix::bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

AVColorRange toAVColorRange(ColorRange range)
{
    return range == ColorRange::full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

ColorMatrix matrixOf(const AVFrame* frame)
{
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709: return ColorMatrix::bt709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_FCC: return ColorMatrix::bt601;
    default: return frame->height >= 720 ? ColorMatrix::bt709 : ColorMatrix::bt601;
    }
}

ColorRange rangeOf(const AVFrame* frame)
{
    const bool full = frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P ||
                      frame->format == AV_PIX_FMT_YUVJ422P || frame->format == AV_PIX_FMT_YUVJ444P;
    return full ? ColorRange::full : ColorRange::limited;
}

} // namespace vi::media::detail
