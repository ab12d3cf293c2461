#include "Platform/Raster/Noise.h"

namespace vi::raster {

namespace {

// SplitMix64's finaliser: a cheap hash whose output bits are all well mixed.
std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

Image noiseImage(const IntRect& area, std::uint64_t seed) {
    Bitmap bitmap(area);
    const std::uint64_t base = mix(seed + 0x9E3779B97F4A7C15ull);
    for (int y = 0; y < area.height; ++y) {
        Pixel* row = bitmap.pixels(y);
        const std::uint64_t rowKey = mix(base ^ (std::uint64_t(std::uint32_t(area.y + y)) << 32));
        for (int x = 0; x < area.width; ++x) {
            const std::uint64_t bits = mix(rowKey + std::uint64_t(std::uint32_t(area.x + x)));
            row[x] = {std::uint8_t(bits), std::uint8_t(bits >> 8), std::uint8_t(bits >> 16), 255};
        }
    }
    return std::move(bitmap).freeze();
}

} // namespace vi::raster
