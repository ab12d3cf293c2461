#pragma once

#include "Platform/Raster/Color.h"

#include <cstdint>

namespace vi::raster::detail {

// The two inner loops of a separable resample, in 16-bit fixed point. The first pass combines
// source rows into one intermediate row (the colour times 64); the second combines
// intermediate samples along the row into finished pixels. Weights are in units of 1/16384.
// Every implementation gives bit-identical results.

// out[i] = (sum over t of weights[t] * rows[t][i] + 128) >> 8, for i in [0, count).
using VerticalKernel = void (*)(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                                std::int16_t* out);

// Horizontal pass, per channel of output j: each tap's product is rounded to 1/32 of a level,
// p = (w[j][t] * mid[start[j] - base + t] + 2^14) >> 15 (a rounding high multiply), and
// out = (sum of p + 16) >> 5, clamped to 0...255 and to the pixel's alpha. `lanes` holds the
// weights as the vector loop wants them (see spreadColumnWeights); the portable loop reads
// `weights`.
// It runs on kRowsPerPass intermediate rows at once, so that the weights and positions are read
// once for all of them; fewer rows repeat the last one (rows and outputs alike).
constexpr int kRowsPerPass = 4;
using HorizontalRowsKernel = void (*)(const std::int16_t* const* mids, const int* start, int base,
                                      const std::int16_t* weights, const std::int16_t* lanes, int taps, int count,
                                      Pixel* const* outs);

struct ResampleKernels {
    VerticalKernel vertical;
    HorizontalRowsKernel horizontalRows;
    bool needsSpreadWeights;
};

ResampleKernels portableKernels();
// The fastest loops this processor runs (AVX2 when present); falls back to the portable ones.
ResampleKernels fastestKernels();

// For kernels that need it: per pair of outputs (2p, 2p+1) and pair of taps (2q, 2q+1), 16
// weights: output 2p's tap 2q four times, its tap 2q+1 four times, then the same for 2p+1.
void spreadColumnWeights(const std::int16_t* weights, int taps, int count, std::int16_t* lanes);
int spreadColumnWeightCount(int taps, int count);

// Portable single steps, shared with the vector loops for their leftover samples.
void verticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                      std::int16_t* out);
Pixel horizontalPixel(const std::int16_t* samples, const std::int16_t* weights, int taps);

bool avx2Available();
ResampleKernels avx2Kernels();

} // namespace vi::raster::detail
