// The redrawn pointer, the click rings and the spotlight glow.
#include "RecordCore/Overlays.h"

#include "Platform/Raster/PainterGradients.h"
#include "RecordCore/OverlayCanvas.h"

#include <QPainterPath>

#include <array>

namespace vi::Overlays {

namespace {

using raster::Color;

// The arrow and the dot share the hot spot (14, 10) from the top-left, so a style change
// never moves where the pointer points.
constexpr int kArrowWidth = 110;
constexpr int kArrowHeight = 150;
constexpr int kDotSide = 150;
constexpr int kEffectSide = 200;

const Color kDarkInk = Color::gray(0.06);
const Color kWhite = Color::gray(1);

QPainterPath arrowPath() {
    // From the top-left, x right and y down: the tip, down the left edge, the notch, the
    // tail, back up to the notch's right side and across to the right shoulder.
    static constexpr std::array<QPointF, 7> corners{{
        {14, 10}, {14, 107.2}, {36.8, 85.6}, {52.4, 121.6}, {68, 115}, {53, 80.2}, {83.6, 80.2}}};
    QPainterPath path(corners[0]);
    for (std::size_t i = 1; i < corners.size(); ++i) {
        path.lineTo(corners[i]);
    }
    path.closeSubpath();
    path.setFillRule(Qt::WindingFill);
    return path;
}

QPen roundPen(const Color& color, double width) {
    QPen pen(overlay::qt(color), width);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

raster::Image dot() {
    return overlay::paint(kDotSide, kDotSide, [](QPainter& painter) {
        // Centred on the hot spot and reaching past the top and left edges, where it is cut.
        const QRectF disc = overlay::flipped(kDotSide, -8, 118, 44, 44);
        const auto shadow = overlay::shadowFromBottomLeft(Color::gray(0, 0.45), 8, 0, -3);
        raster::drawWithShadow(painter, shadow, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(overlay::qt(kDarkInk.withAlpha(0.92)));
            p.drawEllipse(disc);
        });
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(overlay::qt(kWhite), 5));
        painter.drawEllipse(disc);
    });
}

} // namespace

raster::Image pointerShape(const Color& fill, const Color& stroke, bool outlineOnly) {
    return overlay::paint(kArrowWidth, kArrowHeight, [&](QPainter& painter) {
        const QPainterPath arrow = arrowPath();
        const auto shadow = overlay::shadowFromBottomLeft(Color::gray(0, 0.45), 12, 0, -5);
        painter.setBrush(Qt::NoBrush);
        if (outlineOnly) {
            // A dark, wider outline under the coloured one keeps it visible on light screens.
            raster::drawWithShadow(painter, shadow, [&](QPainter& p) {
                p.strokePath(arrow, roundPen(Color::gray(0.05, 0.9), 10));
            });
            painter.strokePath(arrow, roundPen(stroke, 5));
            return;
        }
        raster::drawWithShadow(painter, shadow, [&](QPainter& p) { p.strokePath(arrow, roundPen(stroke, 7)); });
        painter.fillPath(arrow, overlay::qt(fill));
    });
}

raster::Image pointer(std::string_view style) {
    if (style == "dot") {
        return dot();
    }
    if (style == "light") {
        return pointerShape(kWhite, kDarkInk, false);
    }
    if (style == "outline") {
        return pointerShape(Color{0, 0, 0, 0}, kWhite, true);
    }
    return pointerShape(kDarkInk, kWhite, false);
}

raster::Image ripple(bool thick) {
    return overlay::paint(kEffectSide, kEffectSide, [thick](QPainter& painter) {
        const QRectF circle(10, 10, 180, 180);
        const double lineWidth = thick ? 12 : 7;
        const double inset = thick ? 8 : 4;
        if (!thick) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(overlay::qt(Color{0.39, 0.4, 0.95, 0.22}));
            painter.drawEllipse(circle);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(overlay::qt(Color{0.8, 0.82, 1.0, 0.95}), lineWidth));
        painter.drawEllipse(circle.adjusted(inset, inset, -inset, -inset));
    });
}

raster::Image spotlight() {
    return overlay::paint(kEffectSide, kEffectSide, [](QPainter& painter) {
        const Color warm{1.0, 0.97, 0.85, 0.6};
        raster::GradientRamp glow = raster::GradientRamp::between(warm, warm.withAlpha(0));
        glow.extendBefore = glow.extendAfter = false;
        raster::drawRadialGradient(painter, {kEffectSide / 2.0, kEffectSide / 2.0}, 0, kEffectSide / 2.0, glow);
    });
}

} // namespace vi::Overlays
