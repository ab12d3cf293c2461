#pragma once

#include <algorithm>

namespace vi::capture {

// A rectangle in X11 pixels: origin top-left of the root window, y downwards.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; }
    int bottom() const { return y + height; }

    PixelRect intersected(const PixelRect& other) const {
        const int left = std::max(x, other.x);
        const int top = std::max(y, other.y);
        const int r = std::min(right(), other.right());
        const int b = std::min(bottom(), other.bottom());
        if (r <= left || b <= top) return {};
        return {left, top, r - left, b - top};
    }
    bool intersects(const PixelRect& other) const { return !intersected(other).empty(); }
    bool contains(const PixelRect& other) const {
        return !other.empty() && other.x >= x && other.y >= y && other.right() <= right() &&
               other.bottom() <= bottom();
    }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

} // namespace vi::capture
