#include "Platform/Raster/DropShadow.h"

#include "Platform/Raster/Blur.h"
#include "Platform/Raster/QtBridge.h"
#include "Platform/Raster/QtColor.h"

#include <QPainter>
#include <QPaintDevice>

#include <cmath>

namespace vi::raster {

namespace {

// Below this sigma a blur changes no pixel visibly; the shadow is then a sharp copy.
constexpr double kNegligibleSigma = 0.05;


} // namespace

void drawWithShadow(QPainter& target, const DropShadow& shadow, const std::function<void(QPainter&)>& draw) {
    if (!(shadow.color.alpha > 0)) {
        draw(target);
        return;
    }
    const QPaintDevice* device = target.device();
    const double sigma = std::max(0.0, shadow.blur) / 2.0;
    const bool blurred = sigma > kNegligibleSigma;
    // The layer reaches past the device far enough that anything whose shadow can fall inside
    // the device is on it.
    const int margin = (blurred ? blurReach(sigma) : 0) + int(std::ceil(std::abs(shadow.dx))) +
                       int(std::ceil(std::abs(shadow.dy))) + 1;
    const IntRect layerExtent{-margin, -margin, device->width() + 2 * margin, device->height() + 2 * margin};

    Bitmap layer(layerExtent);
    {
        QImage layerImage = paintableImage(layer);
        QPainter painter(&layerImage);
        painter.setRenderHints(target.renderHints());
        painter.setTransform(target.worldTransform() * QTransform::fromTranslate(margin, margin));
        draw(painter);
    }
    Image drawing = std::move(layer).freeze();

    // The shadow: the drawing's coverage in the shadow colour.
    Bitmap tint = Bitmap::copyOf(drawing);
    {
        QImage tintImage = paintableImage(tint);
        QPainter painter(&tintImage);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(tintImage.rect(), toQColor(shadow.color));
    }
    Image cast = std::move(tint).freeze();
    if (blurred) {
        cast = gaussianBlur(cast, sigma, Edges::transparent);
    }

    target.save();
    target.resetTransform();
    target.drawImage(QPointF(cast.origin().x + shadow.dx, cast.origin().y + shadow.dy), qimageView(cast));
    target.drawImage(QPointF(drawing.origin().x, drawing.origin().y), qimageView(drawing));
    target.restore();
}

} // namespace vi::raster
