#pragma once

#include "Platform/Raster/Color.h"

#include <cstdint>

namespace vi::raster::detail {

// The two inner loops of a separable resample, in fixed point. The first pass combines
// source rows into one intermediate row of 16-bit values (the colour times 64); the second
// combines intermediate samples along the row into finished pixels. Weights are in units of
// 1/16384. Every implementation gives bit-identical results.

// out[i] = (sum over t of weights[t] * rows[t][i] + 128) >> 8, for i in [0, count).
using VerticalKernel = void (*)(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                                std::int16_t* out);

// out[j] = (sum over t of w[j][t] * mid[start[j] - base + t] + 2^19) >> 20 per channel,
// clamped to 0...255 and to the pixel's alpha. `paired` holds the weights as the vector loop
// wants them (see pairColumnWeights); the portable loop reads `weights`.
using HorizontalKernel = void (*)(const std::int16_t* mid, const int* start, int base, const std::int16_t* weights,
                                  const std::int32_t* paired, int taps, int count, Pixel* out);

struct ResampleKernels {
    VerticalKernel vertical;
    HorizontalKernel horizontal;
    bool needsPairedWeights;
};

ResampleKernels portableKernels();
// The fastest loops this processor runs (AVX2 when present); falls back to the portable ones.
ResampleKernels fastestKernels();
// For kernels that need it: per pair of outputs and pair of taps, four copies of output 2p's
// two weights then four of output 2p+1's, each pair packed into one 32-bit word.
void pairColumnWeights(const std::int16_t* weights, int taps, int count, std::int32_t* paired);
int pairedColumnWeightCount(int taps, int count);

// Portable single steps, shared with the vector loops for their leftover samples.
void verticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                      std::int16_t* out);
Pixel horizontalPixel(const std::int16_t* samples, const std::int16_t* weights, int taps);

bool avx2Available();
ResampleKernels avx2Kernels();

} // namespace vi::raster::detail
