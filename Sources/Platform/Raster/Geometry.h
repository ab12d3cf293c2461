#pragma once

#include <algorithm>
#include <cmath>

namespace vi::raster {

// Raster coordinates: pixels, origin at the top-left of the canvas, y grows downwards.

struct IntPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const IntPoint&, const IntPoint&) = default;
};

struct PointF {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

struct IntRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool contains(int px, int py) const { return px >= x && py >= y && px < right() && py < bottom(); }

    IntRect intersected(const IntRect& other) const {
        const int left = std::max(x, other.x);
        const int top = std::max(y, other.y);
        const int r = std::min(right(), other.right());
        const int b = std::min(bottom(), other.bottom());
        if (r <= left || b <= top) {
            return {left, top, 0, 0};
        }
        return {left, top, r - left, b - top};
    }
    IntRect translated(int dx, int dy) const { return {x + dx, y + dy, width, height}; }
    IntRect grown(int by) const { return {x - by, y - by, width + 2 * by, height + 2 * by}; }

    friend bool operator==(const IntRect&, const IntRect&) = default;
};

struct RectF {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double right() const { return x + width; }
    double bottom() const { return y + height; }
    double midX() const { return x + width * 0.5; }
    double midY() const { return y + height * 0.5; }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
    RectF insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    RectF translated(double dx, double dy) const { return {x + dx, y + dy, width, height}; }

    // The smallest whole-pixel rectangle that covers this one.
    IntRect enclosingPixels() const {
        const double left = std::floor(x);
        const double top = std::floor(y);
        return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(std::ceil(right()) - left),
                static_cast<int>(std::ceil(bottom()) - top)};
    }

    static RectF from(const IntRect& r) { return {double(r.x), double(r.y), double(r.width), double(r.height)}; }
    friend bool operator==(const RectF&, const RectF&) = default;
};

} // namespace vi::raster
