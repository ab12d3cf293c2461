#include "Platform/Raster/ResampleWeights.h"

#include "Platform/Raster/Blur.h"
#include "Platform/Raster/Resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vi::raster {

namespace {

// A scale within this of 1 is treated as no shrink: Lanczos would only soften the picture.
constexpr double kShrinkThreshold = 0.999;
constexpr double kLanczosLobes = 3.0;
// Taps per output sample at most: Lanczos-3 at a shrink to 1/64 reads 384 source samples;
// shrinking further than that is not a resample anyone asks of this layer.
constexpr double kMinKernelScale = 1.0 / 64.0;
// An end tap weighing less than this share of its kernel is left out.
constexpr double kNegligibleTap = 1.0 / 512.0;

double sinc(double x) {
    if (std::abs(x) < 1e-9) {
        return 1.0;
    }
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

double lanczosExact(double x) { return std::abs(x) < kLanczosLobes ? sinc(x) * sinc(x / kLanczosLobes) : 0.0; }

// The kernel sampled once, so that a call's weights cost no trigonometry: linear interpolation
// between 1/1024 steps is exact to about 1e-6, far below a 14-bit weight's step, and the
// table (12 KB) stays in the first-level cache.
constexpr int kLanczosTableSteps = 1024;

const std::vector<float>& lanczosTable() {
    static const std::vector<float> table = [] {
        std::vector<float> values(std::size_t(kLanczosLobes * kLanczosTableSteps) + 2);
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = float(lanczosExact(double(i) / kLanczosTableSteps));
        }
        return values;
    }();
    return table;
}

double lanczosFrom(const float* table, double x) {
    const double position = std::abs(x) * kLanczosTableSteps;
    if (!(position < kLanczosLobes * kLanczosTableSteps)) {
        return 0.0;
    }
    const auto index = std::size_t(position);
    const double fraction = position - double(index);
    return table[index] + (table[index + 1] - table[index]) * fraction;
}

bool finite(double v) { return std::isfinite(v); }

// Nearest whole number, halves away from zero, for the small values of weight tables (a plain
// conversion; the library call costs more than the rest of a weight's work).
int roundToInt(double v) { return int(v + (v >= 0 ? 0.5 : -0.5)); }

} // namespace

double lanczos3(double x) { return lanczosFrom(lanczosTable().data(), x); }

bool computeAxisWeights(AxisWeights& axis, const AxisMapping& m, Edges edges, ResampleFilter filter) {
    axis.start.clear();
    axis.used.clear();
    axis.weights.clear();
    axis.taps = 0;
    if (m.outputCount <= 0 || m.sourceLength <= 0 || !(m.fromLength > 0) || !(m.toLength > 0) ||
        !finite(m.fromStart + m.fromLength + m.toStart + m.toLength)) {
        return false;
    }
    const double ratio = m.fromLength / m.toLength; // source samples per output sample
    const double scale = 1.0 / ratio;
    const bool useLanczos =
        filter == ResampleFilter::lanczos || (filter == ResampleFilter::automatic && scale < kShrinkThreshold);
    const double kernelScale = useLanczos ? std::clamp(scale, kMinKernelScale, 1.0) : 1.0;
    const double support = useLanczos ? kLanczosLobes / kernelScale : 1.0;
    const bool clamp = edges == Edges::clamp;
    const int length = m.sourceLength;

    // First pass in floating point: each output's folded window and weights.
    const int maxWindow = int(std::ceil(2 * support)) + 2;
    thread_local std::vector<double> folded;
    folded.assign(std::size_t(m.outputCount) * std::size_t(maxWindow), 0.0);
    std::vector<int>& lows = axis.start;
    lows.resize(std::size_t(m.outputCount));
    thread_local std::vector<int> counts;
    counts.resize(std::size_t(m.outputCount));
    int taps = 1;
    // Per-thread scratch and the kernel table, looked up once rather than once per sample.
    thread_local std::vector<double> rawScratch;
    std::vector<double>& raw = rawScratch;
    const float* table = useLanczos ? lanczosTable().data() : nullptr;
    for (int j = 0; j < m.outputCount; ++j) {
        const double offset = (m.outputBegin + j + 0.5 - m.toStart) * ratio;
        const double u = m.mirrored ? m.fromStart + m.fromLength - offset : m.fromStart + offset;
        const double centre = u - m.sourceOrigin - 0.5; // in source sample indices
        const int first = int(std::ceil(centre - support));
        const int last = int(std::floor(centre + support));
        double* w = folded.data() + std::size_t(j) * std::size_t(maxWindow);
        double total = 0;
        int lo = length;
        int hi = -1;
        // Gather the kernel, folding (clamped) or dropping (transparent) what falls outside.
        raw.assign(std::size_t(std::max(0, last - first + 1)), 0.0);
        for (int i = first; i <= last; ++i) {
            const double d = i - centre;
            const double k = useLanczos ? lanczosFrom(table, d * kernelScale) : std::max(0.0, 1.0 - std::abs(d));
            raw[std::size_t(i - first)] = k;
            total += k;
        }
        // The outermost Lanczos taps carry a few thousandths of the weight: dropping them (the
        // rest shares their weight) moves no edge by more than about a level but saves a whole
        // pair of taps per sample at the common shrink factors.
        int keptFirst = first;
        int keptLast = last;
        while (keptFirst < keptLast && std::abs(raw[std::size_t(keptFirst - first)]) < kNegligibleTap * std::abs(total)) {
            total -= raw[std::size_t(keptFirst - first)];
            raw[std::size_t(keptFirst - first)] = 0;
            ++keptFirst;
        }
        while (keptLast > keptFirst && std::abs(raw[std::size_t(keptLast - first)]) < kNegligibleTap * std::abs(total)) {
            total -= raw[std::size_t(keptLast - first)];
            raw[std::size_t(keptLast - first)] = 0;
            --keptLast;
        }
        if (total == 0) {
            total = 1;
        }
        if (first >= 0 && last < length) {
            // Wholly inside the source (most samples): nothing to fold or drop; lo and hi are
            // the outermost taps that weigh anything.
            lo = keptFirst;
            hi = keptLast;
            while (lo < hi && raw[std::size_t(lo - first)] == 0) ++lo;
            while (hi > lo && raw[std::size_t(hi - first)] == 0) --hi;
            for (int i = lo; i <= hi; ++i) {
                w[i - lo] = raw[std::size_t(i - first)] / total;
            }
        } else {
            // Fold (clamped edges) or drop (transparent) what falls outside the source; lo and
            // hi are the samples actually touched.
            auto sourceIndex = [&](int i) { return clamp ? std::clamp(i, 0, length - 1) : i; };
            for (int i = first; i <= last; ++i) {
                const int index = sourceIndex(i);
                if (raw[std::size_t(i - first)] != 0 && index >= 0 && index < length) {
                    lo = std::min(lo, index);
                    hi = std::max(hi, index);
                }
            }
            if (hi < lo) {
                lo = hi = std::clamp(int(std::floor(centre)), 0, length - 1);
            }
            for (int i = first; i <= last; ++i) {
                const int index = sourceIndex(i);
                if (index >= lo && index <= hi) {
                    w[index - lo] += raw[std::size_t(i - first)] / total;
                }
            }
        }
        lows[std::size_t(j)] = lo;
        counts[std::size_t(j)] = hi - lo + 1;
        taps = std::max(taps, hi - lo + 1);
    }
    // Pairs of taps suit the vector loops; a source too short for that keeps an odd count.
    if (taps % 2 != 0 && taps + 1 <= length) {
        ++taps;
    }
    axis.taps = taps;
    axis.weights.assign(std::size_t(m.outputCount) * std::size_t(taps), 0);
    axis.used.resize(std::size_t(m.outputCount));
    axis.sourceBegin = length;
    axis.sourceEnd = 0;
    for (int j = 0; j < m.outputCount; ++j) {
        const int lo = lows[std::size_t(j)];
        const int start = std::max(0, std::min(lo, length - taps));
        const int shift = lo - start;
        const double* w = folded.data() + std::size_t(j) * std::size_t(maxWindow);
        std::int16_t* q = axis.weights.data() + std::size_t(j) * std::size_t(taps);
        // Quantise, then give the rounding remainder to the largest tap so that the weights
        // add up exactly to the rounded total (a flat picture stays exactly flat).
        double exactTotal = 0;
        int sum = 0;
        int largest = shift;
        for (int t = 0; t < counts[std::size_t(j)]; ++t) {
            exactTotal += w[t];
            const auto v = std::int16_t(roundToInt(w[t] * AxisWeights::kWeightOne));
            q[shift + t] = v;
            sum += v;
            if (std::abs(v) > std::abs(q[largest])) {
                largest = shift + t;
            }
        }
        q[largest] = std::int16_t(q[largest] + (roundToInt(exactTotal * AxisWeights::kWeightOne) - sum));
        axis.start[std::size_t(j)] = start;
        const int reach = shift + counts[std::size_t(j)];
        axis.used[std::size_t(j)] = std::min(taps, reach + reach % 2);
        axis.sourceBegin = std::min(axis.sourceBegin, start);
        axis.sourceEnd = std::max(axis.sourceEnd, start + taps);
    }
    return true;
}

} // namespace vi::raster
