#pragma once

#include <map>
#include <string>
#include <vector>

namespace vi {

// An sRGB colour as three channels in 0...1.
struct ColorTriple {
    double r = 0;
    double g = 0;
    double b = 0;
    friend bool operator==(const ColorTriple&, const ColorTriple&) = default;
};

// One of the named gradient backgrounds: a vertical gradient from `top` to `bottom` with a
// radial `glow` laid over it behind the window.
struct Backdrop {
    ColorTriple top;
    ColorTriple bottom;
    ColorTriple glow;
    bool light = false; // a light background (shades the window's shadow and rim)

    // The eight preset names in display order, "night" first.
    static const std::vector<std::string>& names();
    static const std::map<std::string, Backdrop, std::less<>>& presets();
    // "night".
    static const Backdrop& standard();

    friend bool operator==(const Backdrop&, const Backdrop&) = default;
};

} // namespace vi
