// The landscape wallpapers: layered mountain ridges under a glowing sky, and desert dunes.
#include "RecordCore/WallpaperPainters.h"

#include "Platform/Raster/PainterGradients.h"
#include "Platform/Raster/QtColor.h"
#include "RecordCore/WallpaperCanvas.h"
#include "RecordCore/Wallpapers.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vi::WallpaperPainters {

namespace {

struct PeaksLook {
    Color sky1, sky2, sky3; // top to horizon
    int stars;
    Color glow;
    Color nearLayer; // the back ridge, lightened by distance
    Color farLayer;  // the front ridge
    Color haze;
};

const PeaksLook& peaksLook(PeaksVariant variant) {
    static const PeaksLook dusk{{0.10, 0.08, 0.22}, {0.55, 0.25, 0.45}, {1.0, 0.62, 0.42},  900,
                                {1.0, 0.85, 0.6},   {0.62, 0.38, 0.55}, {0.07, 0.05, 0.14}, {0.772, 0.476, 0.498}};
    static const PeaksLook dawn{{0.32, 0.45, 0.78}, {0.78, 0.66, 0.85}, {1.0, 0.82, 0.74},  0,
                                {1.0, 0.95, 0.85},  {0.72, 0.70, 0.88}, {0.16, 0.20, 0.38}, {0.832, 0.748, 0.824}};
    static const PeaksLook fjord{{0.02, 0.06, 0.12}, {0.06, 0.22, 0.30}, {0.30, 0.62, 0.62}, 900,
                                 {0.85, 0.95, 1.0},  {0.20, 0.45, 0.50}, {0.01, 0.04, 0.07}, {0.24, 0.518, 0.548}};
    switch (variant) {
    case PeaksVariant::dusk: return dusk;
    case PeaksVariant::dawn: return dawn;
    case PeaksVariant::fjord: return fjord;
    }
    return dusk;
}

// Ridge points are this many pixels apart, so wider canvases get more points (and draws).
constexpr int kRidgeSpacing = 6;
constexpr int kRidgeLayers = 6;
constexpr double kRidgeRoughness = 0.55;
// Dune crests are sampled this many pixels apart.
constexpr int kDuneSpacing = 8;

} // namespace

std::optional<raster::Image> peaks(double width, double height, Seeded& rng, PeaksVariant variant) {
    const PeaksLook& look = peaksLook(variant);
    return wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        const std::vector<raster::GradientStop> sky = {{0, look.sky3}, {0.55, look.sky2}, {1, look.sky1}};
        raster::drawLinearGradient(painter, {0, 0.35 * h}, {0, h}, wallpaper::ramp(sky, wallpaper::Extend::both));
        if (look.stars > 0) {
            wallpaper::starField(painter, rng, look.stars, w, h, 0.55 * h);
        }

        const double gx = w * (0.3 + 0.4 * rng.next());
        const double gy = 0.47 * h;
        const std::vector<raster::GradientStop> glow = {{0, look.glow.withAlpha(0.75)}, {1, look.glow.withAlpha(0)}};
        raster::drawRadialGradient(painter, {gx, gy}, 0, 0.35 * w, wallpaper::ramp(glow, wallpaper::Extend::none));
        wallpaper::fillEllipse(painter, QRectF(gx - 0.045 * h, gy - 0.045 * h, 0.09 * h, 0.09 * h),
                               look.glow.withAlpha(0.95));

        const int points = int(w / kRidgeSpacing) + 2;
        for (int i = 0; i < kRidgeLayers; ++i) {
            const double t = i / double(kRidgeLayers - 1);
            const Color colour = wallpaper::mix(look.nearLayer, look.farLayer, std::pow(t, 0.8));
            const double base = (0.52 - 0.36 * t) * h;
            const double amp = (0.1 + 0.06 * t) * h;

            std::vector<double> values = Wallpapers::ridge(points, rng, kRidgeRoughness);
            const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
            const double low = *lo;
            const double range = std::max(*hi - low, 0.0001);
            QPainterPath ridge(QPointF(0, 0));
            for (int k = 0; k < points; ++k) {
                ridge.lineTo(kRidgeSpacing * k, base + amp * (values[std::size_t(k)] - low) / range);
            }
            ridge.lineTo(w, 0);
            ridge.closeSubpath();
            painter.fillPath(ridge, raster::toQColor(colour));

            // Mist gathers in the valleys below each crest line.
            painter.save();
            painter.setClipPath(ridge);
            const std::vector<raster::GradientStop> haze = {{0, look.haze.withAlpha(0)},
                                                            {1, look.haze.withAlpha(0.32 * (1 - t))}};
            raster::drawLinearGradient(painter, {0, base + 0.6 * amp}, {0, base - 0.06 * h},
                                       wallpaper::ramp(haze, wallpaper::Extend::after));
            painter.restore();
        }
    });
}

std::optional<raster::Image> dunes(double width, double height, Seeded& rng) {
    return wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        const std::vector<Color> skyColours = {{0.98, 0.86, 0.68}, {0.95, 0.66, 0.52}, {0.55, 0.42, 0.62}};
        raster::drawLinearGradient(painter, {0, 0.45 * h}, {0, h},
                                   wallpaper::evenRamp(skyColours, wallpaper::Extend::before));
        const std::vector<raster::GradientStop> sun = {{0, {1.0, 0.95, 0.8, 0.9}}, {1, {1.0, 0.95, 0.8, 0.0}}};
        raster::drawRadialGradient(painter, {0.68 * w, 0.62 * h}, 0, 0.3 * w,
                                   wallpaper::ramp(sun, wallpaper::Extend::none));

        const std::vector<Color> sand = {
            {0.96, 0.72, 0.50}, {0.90, 0.58, 0.38}, {0.78, 0.44, 0.30}, {0.60, 0.30, 0.24}, {0.42, 0.20, 0.20}};
        const Color light{1.0, 0.95, 0.85};
        const Color shade{0.2, 0.1, 0.15};
        for (int i = 0; i < 5; ++i) {
            const double amplitude = (0.05 + 0.05 * rng.next()) * h;
            const double frequency = 0.5 + 0.6 * rng.next();
            const double phase = 6.28 * rng.next();
            const double base = (0.52 - 0.1 * i) * h;

            QPainterPath dune(QPointF(0, 0));
            for (int x = 0; x <= w; x += kDuneSpacing) {
                const double s = 2 * std::numbers::pi * frequency * x / w;
                dune.lineTo(x,
                            base + amplitude * std::sin(phase + s) + 0.3 * amplitude * std::sin(2.3 * s + 1.7 * phase));
            }
            dune.lineTo(w, 0);
            dune.closeSubpath();

            painter.save();
            painter.setClipPath(dune);
            const Color c = sand[i];
            const std::vector<Color> shades = {wallpaper::mix(c, light, 0.25), c, wallpaper::mix(c, shade, 0.25)};
            raster::drawLinearGradient(painter, {0.5 * w, base + amplitude}, {0.5 * w, base - 0.15 * h},
                                       wallpaper::evenRamp(shades, wallpaper::Extend::both));
            painter.restore();
        }
    });
}

} // namespace vi::WallpaperPainters

namespace vi::Wallpapers {

std::vector<double> ridge(int count, Seeded& rng, double roughness) {
    // Far beyond the widest canvas's ridge (a few thousand points); keeps the doubling finite.
    constexpr int kMostPoints = 1 << 20;
    count = std::min(count, kMostPoints);
    int n = 1;
    while (n < count) {
        n *= 2;
    }
    std::vector<double> a(std::size_t(n) + 1, 0.0);
    a[0] = rng.next();
    a[std::size_t(n)] = rng.next();
    double scale = 1.0;
    for (int step = n; step > 1; step /= 2) {
        const int half = step / 2;
        for (int i = half; i < n; i += step) {
            const auto at = std::size_t(i);
            a[at] = (a[at - std::size_t(half)] + a[at + std::size_t(half)]) / 2 + (rng.next() * 2 * scale - scale);
        }
        scale *= roughness;
    }
    a.resize(std::size_t(std::max(0, count)));
    return a;
}

} // namespace vi::Wallpapers
