#include "Platform/Raster/ResampleKernels.h"

#include <algorithm>

namespace vi::raster::detail {

namespace {

constexpr int kVerticalRound = 1 << 7;
constexpr int kVerticalShift = 8;
constexpr int kHorizontalRound = 1 << 19;
constexpr int kHorizontalShift = 20;

void horizontalPortable(const std::int16_t* mid, const int* start, int base, const std::int16_t* weights,
                        const std::int32_t*, int taps, int count, Pixel* out) {
    for (int j = 0; j < count; ++j) {
        out[j] = horizontalPixel(mid + std::ptrdiff_t(start[j] - base) * 4, weights + std::ptrdiff_t(j) * taps, taps);
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
    std::int32_t acc[4] = {kHorizontalRound, kHorizontalRound, kHorizontalRound, kHorizontalRound};
    for (int t = 0; t < taps; ++t) {
        for (int c = 0; c < 4; ++c) {
            acc[c] += std::int32_t(weights[t]) * samples[t * 4 + c];
        }
    }
    auto channel = [&](int c) { return std::uint8_t(std::clamp(acc[c] >> kHorizontalShift, 0, 255)); };
    const std::uint8_t a = channel(3);
    return {std::min(channel(0), a), std::min(channel(1), a), std::min(channel(2), a), a};
}

ResampleKernels portableKernels() { return {&verticalPortable, &horizontalPortable, false}; }

ResampleKernels fastestKernels() {
    static const ResampleKernels chosen = avx2Available() ? avx2Kernels() : portableKernels();
    return chosen;
}

int pairedColumnWeightCount(int taps, int count) { return ((count + 1) / 2) * (taps / 2) * 8; }

void pairColumnWeights(const std::int16_t* weights, int taps, int count, std::int32_t* paired) {
    auto pack = [](std::int16_t a, std::int16_t b) {
        return std::int32_t(std::uint32_t(std::uint16_t(a)) | (std::uint32_t(std::uint16_t(b)) << 16));
    };
    for (int p = 0; p < (count + 1) / 2; ++p) {
        for (int q = 0; q < taps / 2; ++q) {
            std::int32_t* slot = paired + (std::ptrdiff_t(p) * (taps / 2) + q) * 8;
            for (int half = 0; half < 2; ++half) {
                const int j = std::min(2 * p + half, count - 1);
                const std::int16_t* w = weights + std::ptrdiff_t(j) * taps + 2 * q;
                std::fill_n(slot + half * 4, 4, pack(w[0], w[1]));
            }
        }
    }
}

} // namespace vi::raster::detail
