#include "Platform/Raster/PainterGradients.h"

#include "Platform/Raster/QtColor.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace vi::raster {

namespace {

void setStops(QGradient& gradient, const GradientRamp& ramp) {
    QGradientStops qtStops;
    for (const GradientStop& stop : ramp.stops) {
        qtStops.append({std::clamp(stop.location, 0.0, 1.0), toQColor(stop.color)});
    }
    gradient.setStops(qtStops);
    gradient.setSpread(QGradient::PadSpread);
}

// A length that reaches past every corner of the device from any of the given points, in
// the painter's own coordinates.
double reachAcrossDevice(const QPainter& painter, std::initializer_list<QPointF> points) {
    const QPaintDevice* device = painter.device();
    bool invertible = false;
    const QTransform toUser = painter.combinedTransform().inverted(&invertible);
    QRectF area = invertible ? toUser.mapRect(QRectF(0, 0, device->width(), device->height()))
                             : QRectF(0, 0, device->width(), device->height());
    for (const QPointF& p : points) {
        area = area.united(QRectF(p, QSizeF(1, 1)));
    }
    return 2.0 * std::hypot(area.width(), area.height()) + 1.0;
}

} // namespace

void drawLinearGradient(QPainter& painter, QPointF start, QPointF end, const GradientRamp& ramp) {
    const QPointF axis = end - start;
    const double length = std::hypot(axis.x(), axis.y());
    if (ramp.stops.empty() || !(length > 0)) {
        return;
    }
    const QPointF along = axis / length;
    const QPointF across(-along.y(), along.x());
    const double reach = reachAcrossDevice(painter, {start, end});
    const bool before = ramp.extendBefore;
    const bool after = ramp.extendAfter;
    const double from = before ? -reach : 0.0;
    const double to = after ? length + reach : length;

    QPolygonF band;
    band << start + along * from + across * reach << start + along * to + across * reach
         << start + along * to - across * reach << start + along * from - across * reach;

    QLinearGradient gradient(start, end);
    setStops(gradient, ramp);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawPolygon(band);
    painter.restore();
}

void drawRadialGradient(QPainter& painter, QPointF centre, double startRadius, double endRadius,
                        const GradientRamp& ramp) {
    if (ramp.stops.empty() || !(endRadius > startRadius) || startRadius < 0) {
        return;
    }
    const bool before = ramp.extendBefore;
    const bool after = ramp.extendAfter;

    QPainterPath region;
    region.setFillRule(Qt::OddEvenFill);
    if (after) {
        const double reach = reachAcrossDevice(painter, {centre});
        region.addRect(QRectF(centre.x() - reach, centre.y() - reach, 2 * reach, 2 * reach));
    } else {
        region.addEllipse(centre, endRadius, endRadius);
    }
    if (!before && startRadius > 0) {
        region.addEllipse(centre, startRadius, startRadius);
    }

    // Qt's extended radial gradient: stop 0 on the focal circle, stop 1 on the outer one.
    QRadialGradient gradient(centre, endRadius, centre, startRadius);
    setStops(gradient, ramp);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawPath(region);
    painter.restore();
}

} // namespace vi::raster
