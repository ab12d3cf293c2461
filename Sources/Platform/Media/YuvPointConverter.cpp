#include "Platform/Media/YuvPointConverter.h"

namespace vi::media {

YuvPointConverter::YuvPointConverter(ColorMatrix matrix, ColorRange range) : matrix_(matrix), range_(range)
{
    // The terms of yuvToRgb, evaluated in the same order so that the sums come out bit for bit
    // the same.
    kr_ = matrix == ColorMatrix::bt709 ? 0.2126 : 0.299;
    kb_ = matrix == ColorMatrix::bt709 ? 0.0722 : 0.114;
    kg_ = 1.0 - kr_ - kb_;
    const bool limited = range == ColorRange::limited;
    for (int value = 0; value < 256; ++value) {
        const auto i = static_cast<std::size_t>(value);
        const double difference = limited ? (value - 128.0) / 224.0 : (value - 128.0) / 255.0;
        luma_[i] = limited ? (value - 16.0) / 219.0 : value / 255.0;
        redTerm_[i] = 2.0 * (1.0 - kr_) * difference;
        blueTerm_[i] = 2.0 * (1.0 - kb_) * difference;
    }
}

} // namespace vi::media
