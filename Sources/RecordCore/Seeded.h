#pragma once

#include <cstdint>
#include <string_view>

namespace vi {

// A deterministic pseudo-random source (SplitMix64) seeded from a text, so that a wallpaper
// drawn from its id is the same picture on every run and every machine. Painters pass it by
// reference: every draw advances it, and the order of draws is part of each recipe.
struct Seeded {
    std::uint64_t state;

    // Folds the UTF-8 bytes of the text into the start value, byte by byte (FNV-1a style
    // with its own start value, so an empty text leaves the start value as it is).
    explicit Seeded(std::string_view text);

    // One draw: a double in [0, 1) with 53 random bits.
    double next();

    // One draw spread over [low, high].
    double in(double low, double high);
};

} // namespace vi
