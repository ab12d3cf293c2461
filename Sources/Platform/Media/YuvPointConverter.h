#pragma once

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/PixelBuffer.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vi::media {

// yuvToRgb for callers that turn many single points of a YUV picture into colour (tens of
// thousands a frame): the per-byte terms of one matrix and range are worked out once, and each
// point then costs a few additions and one division, with the same result as yuvToRgb.
class YuvPointConverter {
public:
    YuvPointConverter(ColorMatrix matrix, ColorRange range);

    ColorMatrix matrix() const { return matrix_; }
    ColorRange range() const { return range_; }

    Rgb operator()(std::uint8_t y, std::uint8_t cb, std::uint8_t cr) const
    {
        const double luma = luma_[y];
        const double r = luma + redTerm_[cr];
        const double b = luma + blueTerm_[cb];
        const double g = (luma - kr_ * r - kb_ * b) / kg_;
        return {toByte(r), toByte(g), toByte(b)};
    }

private:
    // Nearest byte of value x 255, halves up, clamped: yuvToRgb's rounding for every value a
    // colour channel can take.
    static std::uint8_t toByte(double value)
    {
        const double scaled = std::clamp(value * 255.0, 0.0, 255.0);
        return static_cast<std::uint8_t>(scaled + 0.5);
    }

    ColorMatrix matrix_;
    ColorRange range_;
    double kr_ = 0;
    double kb_ = 0;
    double kg_ = 0;
    std::array<double, 256> luma_{};
    std::array<double, 256> redTerm_{};
    std::array<double, 256> blueTerm_{};
};

} // namespace vi::media
