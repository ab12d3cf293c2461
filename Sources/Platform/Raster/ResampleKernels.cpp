#include "Platform/Raster/ResampleKernels.h"

#include <algorithm>

namespace vi::raster::detail {

namespace {

constexpr int kProductRound = 1 << 14;
constexpr int kProductShift = 15;
constexpr int kSumShift = 6;
constexpr int kWeightOne = 1 << 14;

int weightSum(const std::int16_t* weights, int taps) {
    int sum = 0;
    for (int t = 0; t < taps; ++t) {
        sum += weights[t];
    }
    return sum;
}

// A rounding high multiply, as the vector loops' multiply does it.
std::int32_t roundedProduct(std::int32_t sample, std::int16_t weight) {
    return (sample * weight + kProductRound) >> kProductShift;
}

void horizontalPortable(const std::int16_t* mid, const int* start, int base, const std::int16_t* weights, int taps,
                        int count, Pixel* out) {
    for (int j = 0; j < count; ++j) {
        out[j] = horizontalPixel(mid + std::ptrdiff_t(start[j] - base) * 4, weights + std::ptrdiff_t(j) * taps, taps);
    }
}

void horizontalRowsPortable(const std::int16_t* const* mids, const int* start, int base, const std::int16_t* weights,
                            const std::int16_t*, const std::int16_t*, int taps, int count, Pixel* const* outs) {
    for (int r = 0; r < kRowsPerPass; ++r) {
        if (r == 0 || outs[r] != outs[r - 1]) {
            horizontalPortable(mids[r], start, base, weights, taps, count, outs[r]);
        }
    }
}

} // namespace

void verticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                      std::int16_t* out) {
    for (int i = 0; i < count; ++i) {
        std::int32_t acc = weightSum(weights, taps) - kWeightOne;
        for (int t = 0; t < taps; ++t) {
            acc += roundedProduct((rows[t][i] - kSampleCentre) * kVerticalSampleScale, weights[t]);
        }
        out[i] = std::int16_t(acc); // the vector loops add in 16 bits; the sum itself always fits
    }
}

Pixel horizontalPixel(const std::int16_t* samples, const std::int16_t* weights, int taps) {
    std::int32_t acc[4] = {0, 0, 0, 0};
    for (int t = 0; t < taps; ++t) {
        for (int c = 0; c < 4; ++c) {
            acc[c] += roundedProduct(samples[t * 4 + c], weights[t]);
        }
    }
    // The vector loops add in 16 bits (the sums fit) and move them back to mid-grey with a
    // saturating add, which the clamp to 0...255 then absorbs.
    const int offset = sumOffset(weights, taps);
    auto channel = [&](int c) {
        const int level = std::clamp(std::int32_t(std::int16_t(acc[c])) + offset, -32768, 32767) >> kSumShift;
        return std::uint8_t(std::clamp(level, 0, 255));
    };
    const std::uint8_t a = channel(3);
    return {std::min(channel(0), a), std::min(channel(1), a), std::min(channel(2), a), a};
}

std::int16_t sumOffset(const std::int16_t* weights, int taps) {
    // kSampleCentre << kSumShift units for weights adding up to one.
    const int centre = (weightSum(weights, taps) * (kSampleCentre << kSumShift)) / kWeightOne;
    return std::int16_t(std::clamp(centre + (1 << (kSumShift - 1)), -32768, 32767));
}

ResampleKernels portableKernels() { return {&verticalPortable, &horizontalRowsPortable, false}; }

ResampleKernels kernelsUpTo(ResampleLoops level) {
    static const bool avx2 = avx2Available();
    static const bool ssse3 = ssse3Available();
    if (level == ResampleLoops::fastest && avx2) {
        return avx2Kernels();
    }
    if (level != ResampleLoops::portable && ssse3) {
        return ssse3Kernels();
    }
    return portableKernels();
}

namespace {

int spreadWeightPartCount(int taps, int count) {
    if (spreadsInPairsOfOutputs(taps)) {
        return ((count + 1) / 2) * ((taps + 1) / 2) * 16;
    }
    return count * ((taps + 3) / 4) * 16;
}

} // namespace

int spreadColumnWeightCount(int taps, int count) { return spreadWeightPartCount(taps, count) + (count + 3) / 4 * 16; }

const std::int16_t* spreadSumOffsets(const std::int16_t* lanes, int taps, int count) {
    return lanes + spreadWeightPartCount(taps, count);
}

void spreadColumnWeights(const std::int16_t* weights, int taps, int count, std::int16_t* lanes) {
    std::int16_t* offsets = lanes + spreadWeightPartCount(taps, count);
    for (int j = 0; j < (count + 3) / 4 * 4; ++j) {
        std::fill_n(offsets + j * 4, 4, sumOffset(weights + std::ptrdiff_t(std::min(j, count - 1)) * taps, taps));
    }
    if (spreadsInPairsOfOutputs(taps)) {
        const int pairs = (taps + 1) / 2;
        for (int p = 0; p < (count + 1) / 2; ++p) {
            for (int q = 0; q < pairs; ++q) {
                std::int16_t* slot = lanes + (std::ptrdiff_t(p) * pairs + q) * 16;
                for (int half = 0; half < 2; ++half) {
                    const int j = std::min(2 * p + half, count - 1);
                    const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
                    std::fill_n(slot + half * 8, 4, w[2 * q]);
                    std::fill_n(slot + half * 8 + 4, 4, 2 * q + 1 < taps ? w[2 * q + 1] : std::int16_t(0));
                }
            }
        }
        return;
    }
    const int groups = (taps + 3) / 4;
    for (int j = 0; j < count; ++j) {
        const std::int16_t* w = weights + std::ptrdiff_t(j) * taps;
        std::int16_t* slot = lanes + std::ptrdiff_t(j) * groups * 16;
        for (int t = 0; t < groups * 4; ++t) {
            std::fill_n(slot + t * 4, 4, t < taps ? w[t] : std::int16_t(0));
        }
    }
}

} // namespace vi::raster::detail
