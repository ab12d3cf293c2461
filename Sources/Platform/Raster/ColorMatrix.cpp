#include "Platform/Raster/ColorMatrix.h"

#include "Platform/Raster/PixelMath.h"

#include <algorithm>
#include <cmath>

namespace vi::raster {

Image fade(const Image& image, double opacity) {
    if (image.isNull() || opacity >= 1.0) {
        return image;
    }
    const auto factor = std::uint32_t(std::lround(std::clamp(opacity, 0.0, 1.0) * 255.0));
    Bitmap result(image.extent());
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* src = image.row(y);
        std::uint8_t* dst = result.row(y);
        for (int i = 0; i < image.width() * 4; ++i) {
            dst[i] = std::uint8_t(detail::mulDiv255(src[i], factor));
        }
    }
    return std::move(result).freeze();
}

Image applyColorMatrix(const Image& image, const ColorMatrix& matrix) {
    if (image.isNull()) {
        return image;
    }
    auto dot = [](const std::array<double, 4>& row, const double (&v)[4], double bias) {
        return std::clamp(row[0] * v[0] + row[1] * v[1] + row[2] * v[2] + row[3] * v[3] + bias, 0.0, 1.0);
    };
    Bitmap result(image.extent());
    for (int y = 0; y < image.height(); ++y) {
        const Pixel* src = image.pixels(y);
        Pixel* dst = result.pixels(y);
        for (int x = 0; x < image.width(); ++x) {
            const Pixel p = src[x];
            const double a = p.a / 255.0;
            const double unpremultiply = p.a > 0 ? 1.0 / p.a : 0.0;
            const double v[4] = {p.r * unpremultiply, p.g * unpremultiply, p.b * unpremultiply, a};
            const Color out{dot(matrix.red, v, matrix.bias[0]), dot(matrix.green, v, matrix.bias[1]),
                            dot(matrix.blue, v, matrix.bias[2]), dot(matrix.alpha, v, matrix.bias[3])};
            dst[x] = out.pixel();
        }
    }
    return std::move(result).freeze();
}

} // namespace vi::raster
