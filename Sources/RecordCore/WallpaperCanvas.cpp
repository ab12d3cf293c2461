#include "RecordCore/WallpaperCanvas.h"

#include "Platform/Raster/QtBridge.h"
#include "Platform/Raster/QtColor.h"

#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

namespace vi::wallpaper {

std::optional<raster::Image> paintCanvas(double width, double height,
                                         const std::function<void(QPainter&, double w, double h)>& draw) {
    if (!(width >= 1) || !(height >= 1) || !std::isfinite(width) || !std::isfinite(height)) {
        return std::nullopt;
    }
    const double w = std::trunc(width);
    const double h = std::trunc(height);
    try {
        raster::Image image = raster::paintImage({0, 0, int(w), int(h)}, [&](QPainter& painter) {
            painter.setTransform(QTransform(1, 0, 0, -1, 0, h));
            draw(painter, w, h);
        });
        if (image.isNull()) {
            return std::nullopt;
        }
        return image;
    } catch (const std::length_error&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void starField(QPainter& painter, Seeded& rng, int count, double width, double top, double span) {
    for (int i = 0; i < count; ++i) {
        const double x = rng.next() * width;
        const double y = top - rng.next() * span;
        const double u = rng.next();
        const double m = u * u * u;
        const double side = 1.2 + 4 * m;
        fillEllipse(painter, QRectF(x, y, side, side), Color::gray(1, 0.25 + 0.75 * m));
    }
}

Color mix(const Color& from, const Color& toward, double fraction) {
    auto lerp = [fraction](double a, double b) { return a + (b - a) * fraction; };
    return {lerp(from.red, toward.red), lerp(from.green, toward.green), lerp(from.blue, toward.blue), from.alpha};
}

void fillEllipse(QPainter& painter, const QRectF& box, const Color& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(raster::toQColor(color));
    painter.drawEllipse(box);
}

raster::GradientRamp ramp(std::vector<raster::GradientStop> stops, Extend extend) {
    return {std::move(stops), extend == Extend::before || extend == Extend::both,
            extend == Extend::after || extend == Extend::both};
}

raster::GradientRamp evenRamp(const std::vector<Color>& colors, Extend extend) {
    raster::GradientRamp even = raster::GradientRamp::even(colors);
    return ramp(std::move(even.stops), extend);
}

} // namespace vi::wallpaper
