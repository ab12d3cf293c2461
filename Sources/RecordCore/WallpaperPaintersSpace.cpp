// The space wallpapers: a planet seen from orbit with a sunrise on its rim, and an eclipse.
#include "RecordCore/WallpaperPainters.h"

#include "Platform/Raster/PainterGradients.h"
#include "Platform/Raster/QtColor.h"
#include "RecordCore/WallpaperCanvas.h"
#include "RecordCore/Wallpapers.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vi::WallpaperPainters {

namespace {

using wallpaper::fillEllipse;

// A last softening that takes the edge off single-pixel stars and city lights.
constexpr double kOrbitSoftening = 1.2;

} // namespace

std::optional<raster::Image> orbit(double width, double height, Seeded& rng, bool dawn) {
    auto painted = wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        const std::vector<raster::GradientStop> space = {{0, {0, 0.01, 0.04}}, {1, {0.02, 0.04, 0.10}}};
        raster::drawLinearGradient(painter, {0, h}, {0, 0}, wallpaper::ramp(space, wallpaper::Extend::none));
        wallpaper::starField(painter, rng, 1600, w, h, h);

        // The planet is so large that only its cap shows; its top edge lies at k H.
        const double radius = 1.25 * w;
        const double cx = 0.5 * w;
        const double cy = (dawn ? 0.42 : 0.36) * h - radius;
        const QPointF centre(cx, cy);
        const Color air = dawn ? Color{0.45, 0.65, 1.0} : Color{0.30, 0.55, 1.0};
        const std::vector<raster::GradientStop> atmosphere = {
            {0, air.withAlpha(0)}, {0.5, air.withAlpha(0.55)}, {1, air.withAlpha(0)}};
        raster::drawRadialGradient(painter, centre, 0.985 * radius, 1.06 * radius,
                                   wallpaper::ramp(atmosphere, wallpaper::Extend::none));

        const QRectF disc(cx - radius, cy - radius, 2 * radius, 2 * radius);
        painter.save();
        QPainterPath planet;
        planet.addEllipse(disc);
        painter.setClipPath(planet);
        const std::vector<raster::GradientStop> ground = {
            {0, {0.01, 0.02, 0.05}}, {0.93, {0.03, 0.08, 0.18}}, {1, {0.12, 0.30, 0.55}}};
        raster::drawRadialGradient(painter, centre, 0, radius, wallpaper::ramp(ground, wallpaper::Extend::none));
        for (int i = 0; i < 500; ++i) {
            const double x = rng.next() * w;
            const double y = rng.next() * 0.3 * h;
            const double alpha = 0.15 + 0.45 * rng.next();
            const double side = 1.5 + 2.5 * rng.next();
            fillEllipse(painter, QRectF(x, y, side, side), Color{1.0, 0.8, 0.5, alpha});
        }
        painter.restore();

        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(raster::toQColor({0.7, 0.85, 1.0, 0.85}), 0.004 * h));
        painter.drawEllipse(disc.adjusted(2, 2, -2, -2));

        // The sun rises on the planet's edge.
        const double dx = (dawn ? 0.22 : -0.28) * w;
        const double sx = cx + dx;
        const double sy = cy + std::sqrt(std::max(0.0, radius * radius - dx * dx));
        const Color warm = dawn ? Color{1.0, 0.78, 0.5} : Color{1.0, 0.6, 0.35};

        painter.save();
        painter.translate(sx, sy);
        painter.scale(3.2, 1); // a flare stretched along the horizon
        const std::vector<raster::GradientStop> flare = {
            {0, {1, 1, 0.95, 1}}, {0.2, warm.withAlpha(0.55)}, {1, warm.withAlpha(0)}};
        raster::drawRadialGradient(painter, {0, 0}, 0, 0.07 * w, wallpaper::ramp(flare, wallpaper::Extend::none));
        painter.restore();

        const std::vector<raster::GradientStop> core = {{0, {1, 1, 1, 1}}, {1, warm.withAlpha(0)}};
        raster::drawRadialGradient(painter, {sx, sy}, 0, 0.035 * h, wallpaper::ramp(core, wallpaper::Extend::none));
    });
    if (!painted) {
        return std::nullopt;
    }
    return Wallpapers::blur(*painted, kOrbitSoftening);
}

std::optional<raster::Image> eclipse(double width, double height, Seeded& rng) {
    return wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        painter.fillRect(QRectF(0, 0, w, h), raster::toQColor({0.01, 0.01, 0.03}));
        wallpaper::starField(painter, rng, 700, w, h, h);

        const double r = 0.2 * h;
        const QPointF centre(w / 2, h / 2);
        const std::vector<raster::GradientStop> corona = {{0, {1.0, 0.92, 0.75, 1.0}},
                                                          {0.08, {1.0, 0.6, 0.35, 0.85}},
                                                          {0.35, {0.6, 0.25, 0.6, 0.35}},
                                                          {1, {0.1, 0.05, 0.2, 0.0}}};
        raster::drawRadialGradient(painter, centre, 0.98 * r, 3.2 * r,
                                   wallpaper::ramp(corona, wallpaper::Extend::none));
        fillEllipse(painter, QRectF(w / 2 - r, h / 2 - r, 2 * r, 2 * r), {0.005, 0.005, 0.015});
    });
}

} // namespace vi::WallpaperPainters
