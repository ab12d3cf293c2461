#include "Platform/Raster/Shapes.h"

#include <algorithm>
#include <cmath>

namespace vi::raster {

Image roundedRectangle(const RectF& rect, double radius, const Color& color) {
    if (rect.isEmpty() || !std::isfinite(rect.x + rect.y + rect.width + rect.height)) {
        return {};
    }
    const double r = std::clamp(std::isfinite(radius) ? radius : 0.0, 0.0, std::min(rect.width, rect.height) * 0.5);
    const IntRect area = rect.enclosingPixels();
    const Pixel full = color.pixel();
    const Color::Premultiplied premultiplied = color.premultiplied();
    const double halfWidth = rect.width * 0.5 - r;
    const double halfHeight = rect.height * 0.5 - r;
    Bitmap bitmap(area);
    for (int y = 0; y < area.height; ++y) {
        Pixel* row = bitmap.pixels(y);
        const double qy = std::abs(area.y + y + 0.5 - rect.midY()) - halfHeight;
        for (int x = 0; x < area.width; ++x) {
            const double qx = std::abs(area.x + x + 0.5 - rect.midX()) - halfWidth;
            // Signed distance from the pixel centre to the rounded rectangle's outline.
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double distance = outside + std::min(std::max(qx, qy), 0.0) - r;
            const double cover = std::clamp(0.5 - distance, 0.0, 1.0);
            if (cover >= 1.0) {
                row[x] = full;
            } else if (cover > 0.0) {
                auto part = [cover](float v) { return std::uint8_t(std::lround(v * cover)); };
                row[x] = {part(premultiplied.b), part(premultiplied.g), part(premultiplied.r), part(premultiplied.a)};
            }
        }
    }
    return std::move(bitmap).freeze();
}

void fillRect(Bitmap& bitmap, const IntRect& area, const Color& color) {
    const IntRect inside = bitmap.extent().intersected(area);
    const Pixel value = color.pixel();
    for (int y = inside.y; y < inside.bottom(); ++y) {
        std::fill_n(bitmap.pixels(y - bitmap.origin().y) + (inside.x - bitmap.origin().x), inside.width, value);
    }
}

} // namespace vi::raster
