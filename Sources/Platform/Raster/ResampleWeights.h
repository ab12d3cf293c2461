#pragma once

#include <cstdint>
#include <vector>

namespace vi::raster {

enum class Edges;
enum class ResampleFilter;

// Fixed-point filter weights for one axis of a resample: output sample j reads `taps`
// consecutive source samples from start[j], with weights weights[j * taps ...] in units of
// 1 / kWeightOne. Every window lies inside the source, so loads never leave it.
struct AxisWeights {
    static constexpr int kWeightBits = 14;
    static constexpr int kWeightOne = 1 << kWeightBits;

    int taps = 0;                    // even whenever the source has room for it
    std::vector<int> start;          // first source sample of each output sample
    std::vector<int> used;           // leading taps of each output that may be non-zero (even, <= taps)
    std::vector<std::int16_t> weights;
    int sourceBegin = 0;             // the source samples any output reads: [sourceBegin, sourceEnd)
    int sourceEnd = 0;
};

// Describes how output samples along one axis map onto the source along it.
struct AxisMapping {
    int outputBegin = 0;  // canvas coordinate of the first output sample
    int outputCount = 0;
    double fromStart = 0; // source rectangle along the axis (canvas coordinates of the source)
    double fromLength = 0;
    double toStart = 0;   // where it lands (canvas coordinates of the output)
    double toLength = 0;
    int sourceOrigin = 0; // canvas coordinate of the source's first sample
    int sourceLength = 0;
    bool mirrored = false;
    friend bool operator==(const AxisMapping&, const AxisMapping&) = default;
};

// The Lanczos-3 kernel as the weights use it: read from a table of 1/1024 steps with linear
// interpolation between them (no trigonometry per tap). Zero from 3 on.
double lanczos3(double x);

// Fills `axis` for the mapping; reuses its buffers. Returns false when the mapping is
// degenerate (empty or not finite rectangles), leaving nothing to draw.
bool computeAxisWeights(AxisWeights& axis, const AxisMapping& mapping, Edges edges, ResampleFilter filter);

} // namespace vi::raster
