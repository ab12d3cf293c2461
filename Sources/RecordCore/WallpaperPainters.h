#pragma once

// The recipes of the built-in wallpapers, used by Wallpapers::render. Each painter draws a
// fresh canvas of the given size (truncated to whole pixels) from the generator's draws in a
// fixed order, and returns none only when the canvas cannot be made.

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Image.h"
#include "RecordCore/Seeded.h"

#include <array>
#include <optional>
#include <vector>

namespace vi::WallpaperPainters {

using raster::Color;

std::optional<raster::Image> orbit(double width, double height, Seeded& rng, bool dawn);
std::optional<raster::Image> eclipse(double width, double height, Seeded& rng);

enum class PeaksVariant { dusk, dawn, fjord };
std::optional<raster::Image> peaks(double width, double height, Seeded& rng, PeaksVariant variant);
std::optional<raster::Image> dunes(double width, double height, Seeded& rng);

struct WavesPalette {
    Color sky;
    std::array<Color, 5> bands;
};
std::optional<raster::Image> waves(double width, double height, Seeded& rng, const WavesPalette& palette);

struct MeshPalette {
    Color background;
    std::vector<Color> blobs;
};
std::optional<raster::Image> mesh(double width, double height, Seeded& rng, const MeshPalette& palette);

} // namespace vi::WallpaperPainters
