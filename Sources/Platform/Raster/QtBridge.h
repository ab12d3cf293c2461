#pragma once

#include "Platform/Raster/Image.h"

#include <QImage>

#include <functional>

class QPainter;

namespace vi::raster {

// Text and vector drawing go through QPainter on a QImage that shares the raster's memory.
// Format_ARGB32_Premultiplied stores each pixel as blue, green, red, alpha in memory, exactly
// our layout, so no conversion happens either way. QPainter on a QImage works on any thread
// (text needs a QGuiApplication to exist).

// A QImage drawing straight into the bitmap's pixels. It keeps the memory alive, but must not
// be drawn into once the bitmap has been frozen.
QImage paintableImage(Bitmap& bitmap);

// A read-only QImage of an image's pixels (for QPainter::drawImage or saving); no copy.
QImage qimageView(const Image& image);

// The pixels of a QImage as an image at `origin`: shared when it already is premultiplied
// ARGB32, converted otherwise.
Image imageFromQImage(const QImage& qimage, IntPoint origin = {});

// A transparent raster of `extent` painted by `draw` (antialiased shapes and text, the origin
// of the painter at the raster's top-left pixel), frozen into an image.
Image paintImage(const IntRect& extent, const std::function<void(QPainter&)>& draw);

} // namespace vi::raster
