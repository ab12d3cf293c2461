#include "Platform/Raster/Blur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vi::raster {

namespace {

// Up to this sigma the exact kernel (at most 49 taps) is cheap enough; above it three box
// passes approximate the Gaussian at a cost that does not grow with sigma.
constexpr double kExactKernelMaxSigma = 8.0;
// A Gaussian is negligible (< 0.3% of its peak) beyond three standard deviations.
constexpr double kReachInSigmas = 3.0;
// Columns handled together in the vertical pass: 16 BGRA pixels are 64 floats per row.
constexpr int kColumnStrip = 16;
// The intermediate rows keep eight fractional bits so that the two passes do not band.
constexpr float kIntermediateScale = 256.0f;

struct BlurPlan {
    bool exact = true;
    std::vector<float> kernel;    // exact: taps from -radius to +radius
    std::array<int, 3> boxRadii{}; // box passes: radius of each (width 2r + 1)
    int reach = 0;                 // samples of extension the line needs on each side
};

BlurPlan makePlan(double sigma) {
    BlurPlan plan;
    if (sigma <= kExactKernelMaxSigma) {
        const int radius = std::max(1, int(std::ceil(kReachInSigmas * sigma)));
        plan.kernel.resize(std::size_t(2 * radius + 1));
        double sum = 0;
        for (int i = -radius; i <= radius; ++i) {
            const double w = std::exp(-(i * i) / (2 * sigma * sigma));
            plan.kernel[std::size_t(i + radius)] = float(w);
            sum += w;
        }
        for (float& w : plan.kernel) {
            w = float(w / sum);
        }
        plan.reach = radius;
        return plan;
    }
    // Three boxes of widths wl or wl + 2 (odd) whose variances, (w^2 - 1) / 12 each, add up to
    // as close to sigma^2 as whole widths allow.
    plan.exact = false;
    constexpr int passes = 3;
    const double ideal = std::sqrt(12.0 * sigma * sigma / passes + 1.0);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    const double lowerCount =
        (12.0 * sigma * sigma - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) / (-4.0 * lower - 4.0);
    const int m = std::clamp(int(std::lround(lowerCount)), 0, passes);
    for (int i = 0; i < passes; ++i) {
        const int width = i < m ? lower : lower + 2;
        plan.boxRadii[std::size_t(i)] = width / 2;
        plan.reach += width / 2;
    }
    return plan;
}

// One box pass along a line of `n` samples of `lanes` floats; samples beyond the ends repeat
// the end samples (the line already carries enough extension for that not to matter).
void boxPass(const float* in, float* out, int n, int lanes, int radius, std::vector<float>& sums) {
    sums.assign(std::size_t(lanes), 0.0f);
    auto sample = [&](int i) { return in + std::ptrdiff_t(std::clamp(i, 0, n - 1)) * lanes; };
    for (int j = -radius; j <= radius; ++j) {
        const float* s = sample(j);
        for (int l = 0; l < lanes; ++l) {
            sums[std::size_t(l)] += s[l];
        }
    }
    const float scale = 1.0f / float(2 * radius + 1);
    for (int i = 0; i < n; ++i) {
        float* o = out + std::ptrdiff_t(i) * lanes;
        for (int l = 0; l < lanes; ++l) {
            o[l] = sums[std::size_t(l)] * scale;
        }
        const float* add = sample(i + radius + 1);
        const float* remove = sample(i - radius);
        for (int l = 0; l < lanes; ++l) {
            sums[std::size_t(l)] += add[l] - remove[l];
        }
    }
}

void kernelPass(const float* in, float* out, int n, int lanes, const std::vector<float>& kernel) {
    const int radius = int(kernel.size() / 2);
    for (int i = 0; i < n; ++i) {
        float* o = out + std::ptrdiff_t(i) * lanes;
        std::fill_n(o, lanes, 0.0f);
        for (int k = -radius; k <= radius; ++k) {
            const float* s = in + std::ptrdiff_t(std::clamp(i + k, 0, n - 1)) * lanes;
            const float w = kernel[std::size_t(k + radius)];
            for (int l = 0; l < lanes; ++l) {
                o[l] += w * s[l];
            }
        }
    }
}

// Blurs a line in place (scratch has the same size); returns where the result lives.
float* blurLine(float* line, float* scratch, int n, int lanes, const BlurPlan& plan, std::vector<float>& sums) {
    if (plan.exact) {
        kernelPass(line, scratch, n, lanes, plan.kernel);
        return scratch;
    }
    boxPass(line, scratch, n, lanes, plan.boxRadii[0], sums);
    boxPass(scratch, line, n, lanes, plan.boxRadii[1], sums);
    boxPass(line, scratch, n, lanes, plan.boxRadii[2], sums);
    return scratch;
}

std::uint8_t toByte(float v) { return std::uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

} // namespace

int blurReach(double sigma) { return sigma > 0 ? int(std::ceil(kReachInSigmas * sigma)) : 0; }

Image gaussianBlur(const Image& image, double sigma, Edges edges, WorkerPool& pool) {
    if (image.isNull() || !(sigma > 0) || !std::isfinite(sigma)) {
        return image;
    }
    const BlurPlan plan = makePlan(sigma);
    const bool clamp = edges == Edges::clamp;
    const IntRect source = image.extent();
    const IntRect out = clamp ? source : source.grown(blurReach(sigma));
    const int reach = plan.reach;

    // Horizontal pass into 16-bit rows of the output extent.
    const std::size_t midStride = std::size_t(out.width) * 4;
    std::vector<std::uint16_t> middle(midStride * std::size_t(out.height));
    pool.parallelFor(out.height, [&](int begin, int end) {
        const int n = out.width + 2 * reach;
        std::vector<float> line(std::size_t(n) * 4), scratch(line.size()), sums;
        for (int y = begin; y < end; ++y) {
            int sy = out.y + y - source.y;
            std::uint16_t* dst = middle.data() + std::size_t(y) * midStride;
            if (sy < 0 || sy >= source.height) {
                if (!clamp) {
                    continue; // a transparent row stays zero
                }
                sy = std::clamp(sy, 0, source.height - 1);
            }
            const std::uint8_t* src = image.row(sy);
            for (int i = 0; i < n; ++i) {
                int sx = out.x - reach + i - source.x;
                float* l = line.data() + std::size_t(i) * 4;
                if (sx < 0 || sx >= source.width) {
                    if (!clamp) {
                        std::fill_n(l, 4, 0.0f);
                        continue;
                    }
                    sx = std::clamp(sx, 0, source.width - 1);
                }
                for (int c = 0; c < 4; ++c) {
                    l[c] = src[sx * 4 + c];
                }
            }
            const float* result = blurLine(line.data(), scratch.data(), n, 4, plan, sums) + reach * 4;
            for (std::size_t i = 0; i < midStride; ++i) {
                dst[i] = std::uint16_t(std::clamp(result[i] * kIntermediateScale + 0.5f, 0.0f, 65535.0f));
            }
        }
    });

    // Vertical pass, a strip of columns at a time so that each row read is contiguous.
    Bitmap result(out);
    const int strips = (out.width + kColumnStrip - 1) / kColumnStrip;
    pool.parallelFor(strips, [&](int begin, int end) {
        const int n = out.height + 2 * reach;
        const int lanes = kColumnStrip * 4;
        std::vector<float> line(std::size_t(n) * lanes), scratch(line.size()), sums;
        for (int strip = begin; strip < end; ++strip) {
            const int x0 = strip * kColumnStrip;
            const int columns = std::min(kColumnStrip, out.width - x0);
            for (int i = 0; i < n; ++i) {
                int y = i - reach;
                float* l = line.data() + std::size_t(i) * lanes;
                if (y < 0 || y >= out.height) {
                    if (!clamp) {
                        std::fill_n(l, lanes, 0.0f);
                        continue;
                    }
                    y = std::clamp(y, 0, out.height - 1);
                }
                const std::uint16_t* m = middle.data() + std::size_t(y) * midStride + std::size_t(x0) * 4;
                for (int k = 0; k < columns * 4; ++k) {
                    l[k] = float(m[k]) * (1.0f / kIntermediateScale);
                }
                std::fill(l + columns * 4, l + lanes, 0.0f);
            }
            const float* blurred = blurLine(line.data(), scratch.data(), n, lanes, plan, sums);
            for (int y = 0; y < out.height; ++y) {
                const float* b = blurred + std::size_t(y + reach) * lanes;
                Pixel* dst = result.pixels(y) + x0;
                for (int x = 0; x < columns; ++x) {
                    Pixel p{toByte(b[x * 4]), toByte(b[x * 4 + 1]), toByte(b[x * 4 + 2]), toByte(b[x * 4 + 3])};
                    // Rounding must not leave a colour above its own coverage.
                    p.b = std::min(p.b, p.a);
                    p.g = std::min(p.g, p.a);
                    p.r = std::min(p.r, p.a);
                    dst[x] = p;
                }
            }
        }
    });
    return std::move(result).freeze();
}

} // namespace vi::raster
