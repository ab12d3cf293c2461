#pragma once

#include <cstdint>

namespace vi::raster::detail {

// a * b / 255 rounded to nearest, exact for all 8-bit inputs, without a division.
inline std::uint32_t mulDiv255(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

} // namespace vi::raster::detail
