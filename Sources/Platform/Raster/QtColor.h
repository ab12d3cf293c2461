#pragma once

#include "Platform/Raster/Color.h"

#include <QColor>

#include <algorithm>

namespace vi::raster {

// The same sRGB colour as Qt names it (components clamped to 0...1).
inline QColor toQColor(const Color& c) {
    auto unit = [](double v) { return float(std::clamp(v, 0.0, 1.0)); };
    return QColor::fromRgbF(unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha));
}

} // namespace vi::raster
