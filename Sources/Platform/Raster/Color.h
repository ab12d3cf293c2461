#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vi::raster {

// One premultiplied pixel in memory order: blue, green, red, alpha (the byte order of
// QImage::Format_ARGB32_Premultiplied on a little-endian machine).
struct Pixel {
    std::uint8_t b = 0;
    std::uint8_t g = 0;
    std::uint8_t r = 0;
    std::uint8_t a = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};
static_assert(sizeof(Pixel) == 4);

// A colour as drawing code names it: sRGB-encoded red, green, blue and a separate alpha,
// all in 0...1 (not premultiplied). The pipeline blends in sRGB-encoded values throughout.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color gray(double white, double alpha = 1) { return {white, white, white, alpha}; }
    constexpr Color withAlpha(double a) const { return {red, green, blue, a}; }

    // Premultiplied channels in 0...255 as floating point, before rounding.
    struct Premultiplied {
        float b, g, r, a;
    };
    Premultiplied premultiplied() const {
        const double a = std::clamp(alpha, 0.0, 1.0);
        auto channel = [a](double v) { return float(std::clamp(v, 0.0, 1.0) * a * 255.0); };
        return {channel(blue), channel(green), channel(red), float(a * 255.0)};
    }
    Pixel pixel() const {
        const Premultiplied p = premultiplied();
        auto byte = [](float v) { return std::uint8_t(std::lround(v)); };
        return {byte(p.b), byte(p.g), byte(p.r), byte(p.a)};
    }

    friend bool operator==(const Color&, const Color&) = default;
};

} // namespace vi::raster
