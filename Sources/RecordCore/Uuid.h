#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vi {

// A 128-bit universally unique identifier, written as 36 upper-case characters (8-4-4-4-12).
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A fresh random (version 4) identifier.
    static Uuid random();
    // Reads the 36-character form in either case; none for anything else.
    static std::optional<Uuid> parse(std::string_view text);
    std::string string() const;

    bool operator==(const Uuid&) const = default;
};

} // namespace vi
