#include "Platform/Raster/Blend.h"

#include <algorithm>
#include <cmath>

namespace vi::raster {

namespace {

// The soft-light function on straight colour values in 0...1.
double softLight(double backdrop, double source) {
    if (source <= 0.5) {
        return backdrop - (1.0 - 2.0 * source) * backdrop * (1.0 - backdrop);
    }
    const double d = backdrop <= 0.25 ? ((16.0 * backdrop - 12.0) * backdrop + 4.0) * backdrop : std::sqrt(backdrop);
    return backdrop + (2.0 * source - 1.0) * (d - backdrop);
}

std::uint8_t toByte(double v) { return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

} // namespace

void softLightBlend(Bitmap& backdrop, const Image& source) {
    const IntRect area = backdrop.extent().intersected(source.extent());
    if (source.isNull() || area.isEmpty()) {
        return;
    }
    for (int y = area.y; y < area.bottom(); ++y) {
        Pixel* d = backdrop.pixels(y - backdrop.origin().y) + (area.x - backdrop.origin().x);
        const Pixel* s = source.pixels(y - source.origin().y) + (area.x - source.origin().x);
        for (int x = 0; x < area.width; ++x) {
            const double as = s[x].a / 255.0;
            const double ab = d[x].a / 255.0;
            if (as == 0.0) {
                continue;
            }
            auto channel = [&](std::uint8_t sc, std::uint8_t bc) {
                const double cs = sc / 255.0; // premultiplied
                const double cb = bc / 255.0;
                const double straightS = cs / as;
                const double straightB = ab > 0 ? cb / ab : 0.0;
                return toByte(cs * (1.0 - ab) + cb * (1.0 - as) + as * ab * softLight(straightB, straightS));
            };
            d[x] = {channel(s[x].b, d[x].b), channel(s[x].g, d[x].g), channel(s[x].r, d[x].r),
                    toByte(as + ab * (1.0 - as))};
        }
    }
}

} // namespace vi::raster
