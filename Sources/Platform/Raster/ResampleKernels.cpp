#include "Platform/Raster/ResampleKernels.h"

#include <algorithm>

namespace vi::raster::detail {

namespace {

constexpr int kVerticalRound = 1 << 7;
constexpr int kVerticalShift = 8;
constexpr int kProductRound = 1 << 14;
constexpr int kProductShift = 15;
constexpr int kSumRound = 1 << 4;
constexpr int kSumShift = 5;

void horizontalPortable(const std::int16_t* mid, const int* start, int base, const std::int16_t* weights,
                        const std::int16_t*, int taps, int count, Pixel* out) {
    for (int j = 0; j < count; ++j) {
        out[j] = horizontalPixel(mid + std::ptrdiff_t(start[j] - base) * 4, weights + std::ptrdiff_t(j) * taps, taps);
    }
}

void horizontalRowsPortable(const std::int16_t* const* mids, const int* start, int base, const std::int16_t* weights,
                            const std::int16_t* lanes, int taps, int count, Pixel* const* outs) {
    for (int r = 0; r < kRowsPerPass; ++r) {
        if (r == 0 || outs[r] != outs[r - 1]) {
            horizontalPortable(mids[r], start, base, weights, lanes, taps, count, outs[r]);
        }
    }
}

} // namespace

void verticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                      std::int16_t* out) {
    for (int i = 0; i < count; ++i) {
        std::int32_t acc = kVerticalRound;
        for (int t = 0; t < taps; ++t) {
            acc += std::int32_t(weights[t]) * rows[t][i];
        }
        out[i] = std::int16_t(std::clamp(acc >> kVerticalShift, -32768, 32767));
    }
}

Pixel horizontalPixel(const std::int16_t* samples, const std::int16_t* weights, int taps) {
    std::int32_t acc[4] = {0, 0, 0, 0};
    for (int t = 0; t < taps; ++t) {
        for (int c = 0; c < 4; ++c) {
            acc[c] += (std::int32_t(weights[t]) * samples[t * 4 + c] + kProductRound) >> kProductShift;
        }
    }
    // The vector loop adds in 16 bits; the sums never leave that range (at most about 11000).
    auto channel = [&](int c) {
        return std::uint8_t(std::clamp(std::int32_t(std::int16_t(acc[c] + kSumRound)) >> kSumShift, 0, 255));
    };
    const std::uint8_t a = channel(3);
    return {std::min(channel(0), a), std::min(channel(1), a), std::min(channel(2), a), a};
}

ResampleKernels portableKernels() { return {&verticalPortable, &horizontalRowsPortable, false}; }

ResampleKernels fastestKernels() {
    static const ResampleKernels chosen = avx2Available() ? avx2Kernels() : portableKernels();
    return chosen;
}

int spreadColumnWeightCount(int taps, int count) { return ((count + 1) / 2) * (taps / 2) * 16; }

void spreadColumnWeights(const std::int16_t* weights, int taps, int count, std::int16_t* lanes) {
    for (int p = 0; p < (count + 1) / 2; ++p) {
        for (int q = 0; q < taps / 2; ++q) {
            std::int16_t* slot = lanes + (std::ptrdiff_t(p) * (taps / 2) + q) * 16;
            for (int half = 0; half < 2; ++half) {
                const int j = std::min(2 * p + half, count - 1);
                const std::int16_t* w = weights + std::ptrdiff_t(j) * taps + 2 * q;
                std::fill_n(slot + half * 8, 4, w[0]);
                std::fill_n(slot + half * 8 + 4, 4, w[1]);
            }
        }
    }
}

} // namespace vi::raster::detail
