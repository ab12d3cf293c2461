#include "Platform/Raster/DropShadow.h"

#include "Platform/Raster/Blur.h"
#include "Platform/Raster/QtBridge.h"
#include "Platform/Raster/QtColor.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vi::raster {

namespace {

// Below this sigma a blur changes no pixel visibly; the shadow is then a sharp copy.
constexpr double kNegligibleSigma = 0.05;
// Shadows wider or further away than this are spread so thin, or fall so far off, that they
// show nothing on any canvas; bounding them keeps the layer's arithmetic finite.
constexpr double kLargestSigma = 4096;
constexpr double kLargestOffset = 16384;

double bounded(double value, double limit) { return std::isfinite(value) ? std::clamp(value, -limit, limit) : 0.0; }
// A wide shadow has no detail finer than its blur, so its coverage is drawn and blurred at a
// reduced resolution that keeps at least this sigma in layer pixels, then enlarged smoothly.
// With two layer pixels per sigma the enlarged shadow differs from a full-size one by less
// than one level in 255, while a 60-pixel shadow costs a 900th of the work.
constexpr double kLayerPixelsPerSigma = 2.0;

} // namespace

void drawWithShadow(QPainter& target, const DropShadow& shadow, const std::function<void(QPainter&)>& draw) {
    if (!(shadow.color.alpha > 0)) {
        draw(target);
        return;
    }
    const QPaintDevice* device = target.device();
    const double sigma = std::max(0.0, bounded(shadow.blur / 2.0, kLargestSigma));
    const double dx = bounded(shadow.dx, kLargestOffset);
    const double dy = bounded(shadow.dy, kLargestOffset);
    const bool blurred = sigma > kNegligibleSigma;
    const double reduction = std::max(1.0, std::floor(sigma / kLayerPixelsPerSigma));
    // The layer reaches past the device far enough that anything whose shadow can fall inside
    // the device is on it.
    const int margin =
        (blurred ? blurReach(sigma) : 0) + int(std::ceil(std::abs(dx))) + int(std::ceil(std::abs(dy))) + 1;
    const int layerWidth = int(std::ceil((device->width() + 2.0 * margin) / reduction));
    const int layerHeight = int(std::ceil((device->height() + 2.0 * margin) / reduction));

    // The drawing's coverage, tinted with the shadow colour.
    Bitmap layer(layerWidth, layerHeight);
    {
        QImage layerImage = paintableImage(layer);
        QPainter painter(&layerImage);
        painter.setRenderHints(target.renderHints());
        painter.setTransform(target.worldTransform() * QTransform::fromTranslate(margin, margin) *
                             QTransform::fromScale(1 / reduction, 1 / reduction));
        draw(painter);
        painter.resetTransform();
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(layerImage.rect(), toQColor(shadow.color));
    }
    Image cast = std::move(layer).freeze();
    if (blurred) {
        cast = gaussianBlur(cast, sigma / reduction, Edges::transparent);
    }

    target.save();
    target.setRenderHint(QPainter::SmoothPixmapTransform, true);
    target.setTransform(QTransform::fromScale(reduction, reduction) *
                        QTransform::fromTranslate(dx - margin, dy - margin));
    target.drawImage(QPointF(cast.origin().x, cast.origin().y), qimageView(cast));
    target.restore();
    draw(target);
}

} // namespace vi::raster
