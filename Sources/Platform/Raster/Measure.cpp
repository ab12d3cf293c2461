#include "Platform/Raster/Measure.h"

#include <cmath>
#include <cstdint>

namespace vi::raster {

MeanColor meanColor(const Image& image, const IntRect& area) {
    MeanColor mean;
    if (area.isEmpty()) {
        return mean;
    }
    const IntRect inside = area.intersected(image.extent());
    std::uint64_t sums[4] = {0, 0, 0, 0};
    if (!image.isNull() && !inside.isEmpty()) {
        for (int y = inside.y; y < inside.bottom(); ++y) {
            const std::uint8_t* row = image.row(y - image.origin().y) + std::ptrdiff_t(inside.x - image.origin().x) * 4;
            std::uint32_t rowSums[4] = {0, 0, 0, 0}; // 16384 pixels of 255 still fit
            for (int x = 0; x < inside.width * 4; x += 4) {
                rowSums[0] += row[x];
                rowSums[1] += row[x + 1];
                rowSums[2] += row[x + 2];
                rowSums[3] += row[x + 3];
            }
            for (int c = 0; c < 4; ++c) {
                sums[c] += rowSums[c];
            }
        }
    }
    const double count = double(area.width) * double(area.height);
    mean.b = double(sums[0]) / count;
    mean.g = double(sums[1]) / count;
    mean.r = double(sums[2]) / count;
    mean.a = double(sums[3]) / count;
    return mean;
}

double meanLuma(const Image& image, const IntRect& area) {
    const MeanColor mean = meanColor(image, area);
    return (0.2126 * std::round(mean.r) + 0.7152 * std::round(mean.g) + 0.0722 * std::round(mean.b)) / 255.0;
}

} // namespace vi::raster
