#include "RecordCore/Look.h"

#include "RecordCore/Project.h"
#include "RecordCore/Wallpapers.h"

#include <cstdint>

namespace vi {

namespace {

// Perceived brightness above which a plain colour counts as a light background.
constexpr double kLightLuma = 0.6;
constexpr std::size_t kHexDigits = 6;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

Look::Look(Backdrop backdrop_, std::optional<std::filesystem::path> wallpaper_, std::optional<ColorTriple> solid_,
           double blur_, double padding_, double radius_, double shadow_)
    : backdrop(backdrop_), wallpaper(std::move(wallpaper_)), solid(solid_), blur(blur_), padding(padding_),
      radius(radius_), shadow(shadow_) {}

Look::Look(const Project& project) {
    if (project.wallpaperPreset) {
        wallpaper = Wallpapers::url(*project.wallpaperPreset);
    }
    if (!wallpaper && project.wallpaper) {
        wallpaper = std::filesystem::path(*project.wallpaper); // taken as it stands, not checked
    }
    const auto& presets = Backdrop::presets();
    const auto found = presets.find(project.backdrop);
    backdrop = found != presets.end() ? found->second : Backdrop::standard();
    if (!wallpaper && project.solidColor) {
        solid = rgb(*project.solidColor);
    }
    blur = project.backgroundBlur;
    padding = project.padding;
    radius = project.radius;
    shadow = project.shadow;
}

bool Look::isLight() const {
    if (solid) {
        return 0.3 * solid->r + 0.59 * solid->g + 0.11 * solid->b > kLightLuma;
    }
    if (wallpaper) {
        return false; // wallpaper images are not measured here
    }
    return backdrop.light;
}

std::optional<ColorTriple> Look::rgb(std::string_view text) {
    while (!text.empty() && text.front() == '#') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == '#') {
        text.remove_suffix(1);
    }
    // Six characters of which any non-ASCII one could never be a digit: counting bytes gives
    // the same answer as counting characters.
    if (text.size() != kHexDigits) {
        return std::nullopt;
    }
    bool negative = false;
    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::int64_t value = 0;
    for (const char c : digits) {
        const int digit = hexValue(c);
        if (digit < 0) {
            return std::nullopt; // also a sign alone or a second sign
        }
        value = value * 16 + digit;
    }
    if (negative) {
        value = -value;
    }
    // Arithmetic shifts: a negative value's channels come from its two's-complement bytes.
    return ColorTriple{double((value >> 16) & 0xFF) / 255.0, double((value >> 8) & 0xFF) / 255.0,
                       double(value & 0xFF) / 255.0};
}

} // namespace vi
