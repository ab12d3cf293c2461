#pragma once

#include "Platform/Raster/Image.h"
#include "RecordCore/Seeded.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vi {

// The built-in background wallpapers. They are recipes, not files: each is painted from its
// id alone, deterministically, so an id always gives the same picture (the same bytes for the
// same size). Full-size renders are cached as JPEG files so that a video render reads a file
// instead of painting. Nothing here throws; failures give no result.
namespace Wallpapers {

struct Item {
    std::string id;     // stored in the project and the seed of the drawing
    std::string name;   // display name
    std::string family; // display group
};

// The catalogue in the order it is shown: 18 wallpapers in the families "Space",
// "Landscape", "Waves" and "Glow".
const std::vector<Item>& all();

// The catalogue item of an id (exact, case-sensitive), or null.
const Item* find(std::string_view id);

// The finished wallpaper (painted, then grained) at width x height pixels (truncated to whole
// pixels); none for an id outside the catalogue (ids are case-sensitive) or when painting
// fails. Any thread, in parallel.
std::optional<raster::Image> render(std::string_view id, double width, double height);

// The size cached files are rendered at: large enough to fill a 4K canvas of any format.
inline constexpr int cachedWidth = 3840;
inline constexpr int cachedHeight = 2400;

// The cached full-size JPEG of a wallpaper, rendered and written first when missing (which
// takes seconds: never call it for a missing file on the GUI thread). Each file is written at
// most once per process even when several threads ask together; a half-written file never
// appears under the final name. None for an unknown id or when the file cannot be made.
std::optional<std::filesystem::path> url(std::string_view id);

// The cache folder, "$XDG_DATA_HOME/Vavod Idiriz/Wallpapers" (created when missing; a failure
// to create it is left for the writing to report).
std::filesystem::path folder();

// The two finishing filters. blur: a Gaussian of sigma pixels with the edges repeated
// outward, so borders do not darken. grain: grey film noise of the given strength laid over
// the picture with a soft-light blend. Both give the picture unchanged when they cannot work.
raster::Image blur(const raster::Image& image, double sigma);
raster::Image grain(const raster::Image& image, double amount);

// A ridge line by one-dimensional midpoint displacement: `count` values (roughly 0...1 before
// the caller normalises them), drawing from rng in a fixed order.
std::vector<double> ridge(int count, Seeded& rng, double roughness);

} // namespace Wallpapers
} // namespace vi
