#pragma once

#include <nlohmann/json_fwd.hpp>

namespace vi {

// A rectangle in normalised coordinates of a frame: x and y are the top-left corner, w and h the
// size, all as fractions of the frame's width and height, y growing downward. The whole frame is
// (0, 0, 1, 1). No invariant is enforced: sizes may exceed 1 and edges may lie outside the frame.
struct NRect {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;

    constexpr NRect() = default;
    constexpr NRect(double x_, double y_, double w_, double h_) : x(x_), y(y_), w(w_), h(h_) {}
    static constexpr NRect centered(double centerX, double centerY, double w, double h) {
        return {centerX - w * 0.5, centerY - h * 0.5, w, h};
    }
    static constexpr NRect full() { return {0, 0, 1, 1}; }

    constexpr double midX() const { return x + w * 0.5; }
    constexpr double midY() const { return y + h * 0.5; }
    constexpr double maxX() const { return x + w; }
    constexpr double maxY() const { return y + h; }

    // The bounding box of both; a rectangle of zero size still contributes its corner.
    NRect united(const NRect& other) const;
    // Shrunk to at most the frame's size, then moved inside it (lower bound first).
    NRect clampedToUnit() const;
    // Whether `other` lies inside, allowing rounding noise of `containsTolerance` on each edge.
    bool contains(const NRect& other) const;
    // Whether the point lies inside or on the border, without tolerance.
    bool contains(double px, double py) const;
    // Scaled by `s` about its centre; not clamped.
    NRect scaled(double s) const;

    bool operator==(const NRect&) const = default;

    static constexpr double containsTolerance = 1e-9;
};

// JSON form: {"x", "y", "w", "h"}, all required numbers; unknown members are ignored.
void to_json(nlohmann::json& j, const NRect& r);
void from_json(const nlohmann::json& j, NRect& r);

} // namespace vi
