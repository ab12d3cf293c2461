#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Resample.h"

#include <cstdint>

namespace vi::raster::detail {

// The two inner loops of a separable resample, in 16-bit fixed point. The first pass combines
// source rows into one intermediate row; the second combines intermediate samples along the row
// into finished pixels. Weights are in units of 1/16384. Every product is rounded on its own, as
// a vector rounding high multiply does, p(s, w) = (s * w + 2^14) >> 15, and sums are kept in 16
// bits. Every implementation gives bit-identical results.
//
// Samples are centred on mid-grey so that the intermediate holds 128 units per level and still
// has room for the filter's overshoot either side, and so that the first pass can widen bytes by
// placing them in the high half of 16-bit lanes.
constexpr int kSampleCentre = 128;
constexpr int kVerticalSampleScale = 256;

// out[i] = (W - 16384) + sum over t of p((rows[t][i] - 128) * 256, weights[t]), for i in
// [0, count), W the sum of the weights: the colour less 128, in units of 1/128 of a level (the
// first term makes weights that add up to less than one, beyond transparent edges, fade to
// transparent rather than to grey).
using VerticalKernel = void (*)(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                                std::int16_t* out);

// Horizontal pass, per channel of output j: s = sum over t of p(mid[start[j] - base + t], w[j][t])
// (the colour less 128 times the weights' sum, in units of 1/64 of a level), and
// out = (s + sumOffset(w[j])) >> 6, the add saturating at 16 bits, clamped to 0...255 and to the
// pixel's alpha. `lanes` holds the weights as the vector loops want them and `sumOffsets` the
// outputs' offsets (see spreadColumnWeights); the portable loop reads `weights`.
// It runs on kRowsPerPass intermediate rows at once, so that the weights and positions are read
// once for all of them; fewer rows repeat the last one (rows and outputs alike).
constexpr int kRowsPerPass = 4;
using HorizontalRowsKernel = void (*)(const std::int16_t* const* mids, const int* start, int base,
                                      const std::int16_t* weights, const std::int16_t* lanes,
                                      const std::int16_t* sumOffsets, int taps, int count, Pixel* const* outs);

struct ResampleKernels {
    VerticalKernel vertical;
    HorizontalRowsKernel horizontalRows;
    bool needsSpreadWeights;
};

ResampleKernels portableKernels();
// The fastest loops this processor runs at or below `level` (AVX2, then SSSE3, then portable).
ResampleKernels kernelsUpTo(ResampleLoops level);

// For kernels that need it, the column weights each copied over the four channels, in one of
// two layouts chosen by the number of taps:
// - two taps: per pair of outputs (2p, 2p+1), 16 weights: output 2p's tap 0 four times, its tap
//   1 four times, then the same for 2p+1 (one vector serves two outputs);
// - more: per output and group of four taps (4g ... 4g+3), 16 weights: each tap's four times,
//   zero for taps past the end (one vector covers four taps of one output).
// After the weights, four copies of each output's sumOffset (in output order, the count
// rounded up to whole groups of four outputs).
void spreadColumnWeights(const std::int16_t* weights, int taps, int count, std::int16_t* lanes);
int spreadColumnWeightCount(int taps, int count);
const std::int16_t* spreadSumOffsets(const std::int16_t* lanes, int taps, int count);

// What the horizontal pass adds to an output's centred sum: 128 levels times the sum of its
// weights, plus half a level to round, in units of 1/64 of a level.
std::int16_t sumOffset(const std::int16_t* weights, int taps);
constexpr bool spreadsInPairsOfOutputs(int taps) { return taps <= 2; }
// The quad layout reads whole groups of four samples: rows handed to the horizontal pass must
// hold this many readable values past their last sample (their weights are zero).
constexpr int kHorizontalOverread = 2 * 4;

// Portable single steps, shared with the vector loops for their leftover samples.
void verticalPortable(const std::uint8_t* const* rows, const std::int16_t* weights, int taps, int count,
                      std::int16_t* out);
Pixel horizontalPixel(const std::int16_t* samples, const std::int16_t* weights, int taps);

bool avx2Available();
ResampleKernels avx2Kernels();
bool ssse3Available();
ResampleKernels ssse3Kernels();

} // namespace vi::raster::detail
