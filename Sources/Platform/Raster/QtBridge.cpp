#include "Platform/Raster/QtBridge.h"

#include <QPainter>

#include <memory>

namespace vi::raster {

namespace {

// QImage calls this when its last copy goes: it drops our reference to the shared pixels.
template <typename Owner>
void releaseOwner(void* info) {
    delete static_cast<Owner*>(info);
}

} // namespace

QImage paintableImage(Bitmap& bitmap) {
    if (bitmap.isNull() || bitmap.width() == 0 || bitmap.height() == 0) {
        return {};
    }
    // The bitmap's storage outlives the bitmap object itself as long as this QImage lives.
    auto* keep = new Bitmap::Storage(bitmap.storage());
    return QImage(bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(),
                  QImage::Format_ARGB32_Premultiplied, &releaseOwner<Bitmap::Storage>, keep);
}

QImage qimageView(const Image& image) {
    if (image.isNull()) {
        return {};
    }
    auto* keep = new Image(image);
    return QImage(image.row(0), image.width(), image.height(), image.stride(), QImage::Format_ARGB32_Premultiplied,
                  &releaseOwner<Image>, keep);
}

Image imageFromQImage(const QImage& qimage, IntPoint origin) {
    if (qimage.isNull()) {
        return {};
    }
    auto converted = std::make_shared<const QImage>(qimage.format() == QImage::Format_ARGB32_Premultiplied
                                                         ? qimage
                                                         : qimage.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    const std::uint8_t* bits = converted->constBits(); // constBits never detaches the shared copy
    return Image(converted, bits, converted->width(), converted->height(), converted->bytesPerLine(), origin);
}

Image paintImage(const IntRect& extent, const std::function<void(QPainter&)>& draw) {
    Bitmap bitmap(extent);
    {
        QImage target = paintableImage(bitmap);
        if (!target.isNull()) {
            QPainter painter(&target);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
            draw(painter);
        }
    }
    return std::move(bitmap).freeze();
}

} // namespace vi::raster
