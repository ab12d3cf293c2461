#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/DropShadow.h"
#include "Platform/Raster/Image.h"
#include "Platform/Raster/QtColor.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <functional>
#include <string_view>

// Shared by the overlay makers: their designs are stated with the origin at the bottom-left
// and y growing upwards, while images keep their top row first. These helpers do that one
// conversion and the bookkeeping of whole-pixel sizes.
namespace vi::overlay {

// A size rounded up to whole pixels; 0 (an empty image) for sizes that are not positive or
// absurdly large.
int wholePixels(double size);

// A transparent width x height image painted by `draw` with antialiasing on, the painter's
// origin at the top-left pixel; an empty image when memory for it cannot be had.
raster::Image paint(int width, int height, const std::function<void(QPainter&)>& draw);

// A rectangle given from the bottom-left, in the top-left coordinates of an image of
// `imageHeight` rows.
inline QRectF flipped(double imageHeight, double x, double y, double width, double height) {
    return {x, imageHeight - y - height, width, height};
}

// The transform that lets shape code use bottom-left coordinates directly.
inline QTransform bottomLeftOrigin(double imageHeight) { return QTransform(1, 0, 0, -1, 0, imageHeight); }

// A shadow stated with an upward offset (dy > 0 moves it up), turned into device terms.
inline raster::DropShadow shadowFromBottomLeft(const raster::Color& color, double blur, double dx, double dyUp) {
    return {color, blur, dx, -dyUp};
}

inline QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

inline QColor qt(const raster::Color& color) { return raster::toQColor(color); }

} // namespace vi::overlay
