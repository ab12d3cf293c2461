#pragma once

// Internal to activity measuring: where the sample points of a brightness grid fall, and how a
// BGRA pixel becomes one brightness byte.

#include <algorithm>
#include <cstdint>

namespace vi::ActivityAnalyzer::detail {

// Walks the sample points of one axis in order. Each point takes the pixel nearest the centre of
// its share of the axis, min(size - 1, truncate((i + 0.5) x size / gridSize)) as computed in
// 64-bit floating point, here without a division per point: the point centres are the exact fractions (2i + 1) x size / (2 x gridSize),
// whose integer parts the floating-point formula also yields (a quotient that is not whole stays
// at least 1 / (2 x gridSize) from the next whole number, far beyond its rounding).
class PointStepper {
public:
    PointStepper(int size, int gridSize)
        : size_(size), denominator_(2 * static_cast<long long>(gridSize)),
          stepWhole_(2 * static_cast<long long>(size) / denominator_),
          stepRemainder_(2 * static_cast<long long>(size) % denominator_),
          whole_(size / denominator_), remainder_(size % denominator_)
    {
    }

    // The pixel of the current point; then moves on to the next point.
    int next()
    {
        const int pixel = static_cast<int>(std::min<long long>(size_ - 1, whole_));
        whole_ += stepWhole_;
        remainder_ += stepRemainder_;
        if (remainder_ >= denominator_) {
            remainder_ -= denominator_;
            ++whole_;
        }
        return pixel;
    }

private:
    long long size_;
    long long denominator_;
    long long stepWhole_;
    long long stepRemainder_;
    long long whole_;     // integer part of the current point's centre
    long long remainder_; // its fractional part, in 1 / denominator_
};

// Integer luma of B, G and R: weights that sum to 256, so the shift gives 0 to 255.
inline std::uint8_t bgrLuma(int b, int g, int r)
{
    return static_cast<std::uint8_t>((19 * b + 183 * g + 54 * r) >> 8);
}

} // namespace vi::ActivityAnalyzer::detail
