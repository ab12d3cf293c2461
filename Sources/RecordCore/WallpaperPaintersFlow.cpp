// The flowing wallpapers: stacked wave bands, and soft glows of colour on a mesh.
#include "RecordCore/WallpaperPainters.h"

#include "Platform/Raster/DropShadow.h"
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

// Wave crests are sampled this many pixels apart, from just outside the left edge to just
// outside the right one (and closed below the bottom) so no band edge shows at the border.
constexpr int kWaveSpacing = 8;
constexpr double kWaveOverhang = 10;
// A light blur melts the bands' edges into each other.
constexpr double kWaveSoftening = 2.5;
// The mesh's blobs are blurred into one another by this fraction of the width.
constexpr double kMeshSofteningPerWidth = 0.035;
// Blobs repeated after the palette's own colours are smaller accents.
constexpr double kRepeatedBlobSize = 0.7;

} // namespace

std::optional<raster::Image> waves(double width, double height, Seeded& rng, const WavesPalette& palette) {
    auto painted = wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        const std::vector<raster::GradientStop> background = {{0, palette.sky}, {1, palette.bands[0]}};
        raster::drawLinearGradient(painter, {0, h}, {0, 0.4 * h},
                                   wallpaper::ramp(background, wallpaper::Extend::after));

        for (std::size_t i = 0; i < palette.bands.size(); ++i) {
            const double a1 = (0.06 + 0.06 * rng.next()) * h;
            const double f1 = 0.6 + 0.6 * rng.next();
            const double phase1 = 6.28 * rng.next();
            const double a2 = (0.02 + 0.03 * rng.next()) * h;
            const double f2 = 1.6 + rng.next();
            const double phase2 = 6.28 * rng.next();
            const double base = (0.78 - 0.17 * double(i)) * h;

            QPainterPath band(QPointF(-kWaveOverhang, -kWaveOverhang));
            for (double x = -kWaveOverhang; x <= w + kWaveOverhang; x += kWaveSpacing) {
                const double t = 2 * std::numbers::pi * x / w;
                band.lineTo(x, base + a1 * std::sin(f1 * t + phase1) + a2 * std::sin(f2 * t + phase2));
            }
            band.lineTo(w + kWaveOverhang, -kWaveOverhang);
            band.closeSubpath();

            const Color c = palette.bands[i];
            // Each band casts a soft shadow up onto the band behind it.
            const raster::DropShadow shadow{Color::gray(0, 0.28), 0.05 * h, 0, -0.012 * h};
            raster::drawWithShadow(painter, shadow, [&](QPainter& p) { p.fillPath(band, raster::toQColor(c)); });

            painter.save();
            painter.setClipPath(band);
            const std::vector<Color> shades = {wallpaper::mix(c, {1, 1, 1}, 0.22), c,
                                               wallpaper::mix(c, {0, 0, 0}, 0.18)};
            raster::drawLinearGradient(painter, {0.5 * w, base + a1}, {0.5 * w, base - 0.22 * h},
                                       wallpaper::evenRamp(shades, wallpaper::Extend::both));
            painter.restore();
        }
    });
    if (!painted) {
        return std::nullopt;
    }
    return Wallpapers::blur(*painted, kWaveSoftening);
}

std::optional<raster::Image> mesh(double width, double height, Seeded& rng, const MeshPalette& palette) {
    auto painted = wallpaper::paintCanvas(width, height, [&](QPainter& painter, double w, double h) {
        painter.fillRect(QRectF(0, 0, w, h), raster::toQColor(palette.background));

        struct Blob {
            Color colour;
            double size;
        };
        std::vector<Blob> blobs;
        for (const Color& c : palette.blobs) {
            blobs.push_back({c, 1.0});
        }
        const std::size_t repeats = std::min<std::size_t>(palette.blobs.size(), 2);
        for (std::size_t i = 0; i < repeats; ++i) {
            blobs.push_back({palette.blobs[i], kRepeatedBlobSize});
        }
        for (const Blob& blob : blobs) {
            const double x = w * (0.05 + 0.9 * rng.next());
            const double y = h * (0.05 + 0.9 * rng.next());
            const double radius = w * (0.32 + 0.28 * rng.next()) * blob.size;
            const std::vector<raster::GradientStop> glow = {{0, blob.colour.withAlpha(0.95)},
                                                            {1, blob.colour.withAlpha(0)}};
            raster::drawRadialGradient(painter, {x, y}, 0, radius, wallpaper::ramp(glow, wallpaper::Extend::none));
        }
    });
    if (!painted) {
        return std::nullopt;
    }
    return Wallpapers::blur(*painted, kMeshSofteningPerWidth * std::trunc(width));
}

} // namespace vi::WallpaperPainters
