#pragma once

#include "RecordCore/Backdrop.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace vi {

struct Project;

// The background of one project, resolved from its settings: the backdrop (always set, even
// when hidden), an optional wallpaper image, an optional solid colour and the window's frame.
struct Look {
    Backdrop backdrop;
    std::optional<std::filesystem::path> wallpaper; // a cached built-in wallpaper or the user's image
    std::optional<ColorTriple> solid;
    double blur = 0;    // blur of the background image, as the project stores it
    double padding = 0; // margin around the video window (see OutputFormat::window)
    double radius = 0;  // corner radius of the window, as the project stores it
    double shadow = 0;  // strength of the window's shadow

    Look() = default;
    Look(Backdrop backdrop, std::optional<std::filesystem::path> wallpaper, std::optional<ColorTriple> solid,
         double blur, double padding, double radius, double shadow);
    // Resolves the project's look. A built-in wallpaper is rendered and cached on first use,
    // which takes seconds: not on the GUI thread for a wallpaper whose file may be missing.
    explicit Look(const Project& project);

    // Whether the background is light: a solid colour by its luma, a wallpaper never, a
    // backdrop by its flag.
    bool isLight() const;

    // A colour from hexadecimal text such as "#0B0F18": '#' characters at either end are
    // dropped, and the rest must be exactly six characters that read as one base-16 integer
    // (a leading '+' or '-' sign counts among the six, and a negative value's two's-complement
    // bytes give the channels). None otherwise.
    static std::optional<ColorTriple> rgb(std::string_view text);
};

} // namespace vi
