// The speed pill and the real-time clock badge.
#include "RecordCore/Overlays.h"

#include "Platform/Raster/Fonts.h"
#include "Platform/Raster/Paragraph.h"
#include "RecordCore/OverlayCanvas.h"

#include <QPainterPath>
#include <QPolygonF>

namespace vi::Overlays {

namespace {

using raster::Color;
using raster::FontWeight;
namespace Fonts = raster::Fonts;

// Both badges are designed at 1080 lines and grow with the render scale by these factors.
constexpr double kPillUnit = 1.6;
constexpr double kClockUnit = 1.4;

const Color kBadgeFill{0.06, 0.07, 0.12, 1};

raster::Paragraph oneLine(const QFont& font, const QString& text, const Color& color) {
    raster::Paragraph paragraph(font, Qt::AlignLeft);
    paragraph.add(text, overlay::qt(color));
    return paragraph;
}

// Draws a one-line text whose box has its bottom-left corner at (x, y) from the bottom-left.
void drawAt(QPainter& painter, const raster::Paragraph& text, double imageHeight, double x, double y) {
    const QSizeF size = text.size();
    painter.save();
    painter.resetTransform();
    text.drawLine(painter, overlay::flipped(imageHeight, x, y, size.width(), size.height()).topLeft());
    painter.restore();
}

} // namespace

raster::Image pill(int speed, std::string_view label, double scale) {
    const double k = kPillUnit * scale;
    const auto speedText =
        oneLine(Fonts::words(26 * k, FontWeight::Bold), QString::number(speed) + QChar(0x00D7), Color::gray(1));
    const auto labelText =
        oneLine(Fonts::words(21 * k, FontWeight::Medium), overlay::text(label), Color::gray(1, 0.72));
    const QSizeF speedSize = speedText.size();
    const QSizeF labelSize = labelText.size();
    // Padding, icon slot, gap, speed, gap, label, padding.
    const int width =
        overlay::wholePixels(20 * k + 26 * k + 10 * k + speedSize.width() + 10 * k + labelSize.width() + 20 * k);
    const int height = overlay::wholePixels(52 * k);

    return overlay::paint(width, height, [&](QPainter& painter) {
        painter.setTransform(overlay::bottomLeftOrigin(height));
        const double radius = 26 * k;
        QPainterPath body;
        body.addRoundedRect(QRectF(0, 0, width, height), radius, radius);
        painter.fillPath(body, overlay::qt(kBadgeFill.withAlpha(0.88)));

        QPainterPath rim;
        rim.addRoundedRect(QRectF(0.75, 0.75, width - 1.5, height - 1.5), radius - 0.75, radius - 0.75);
        painter.strokePath(rim, QPen(overlay::qt(Color{0.55, 0.62, 1.0, 0.45}), 1.5));

        // Fast-forward icon: two triangles in the icon slot, centred on the pill's mid-line.
        const double half = 13 * k;
        const double cy = 26 * k;
        QPainterPath icon;
        icon.setFillRule(Qt::WindingFill);
        for (const double x : {20 * k, 20 * k + 0.95 * half}) {
            icon.addPolygon(
                QPolygonF{{QPointF(x, cy - 0.62 * half), QPointF(x + half, cy), QPointF(x, cy + 0.62 * half)}});
            icon.closeSubpath();
        }
        painter.fillPath(icon, overlay::qt(Color{0.49, 0.6, 1.0, 1}));

        drawAt(painter, speedText, height, 56 * k, (52 * k - speedSize.height()) / 2);
        drawAt(painter, labelText, height, 56 * k + speedSize.width() + 10 * k, (52 * k - labelSize.height()) / 2 + 1);
    });
}

raster::Image clockBadge(std::string_view time, double scale) {
    const double k = kClockUnit * scale;
    const auto timeText = oneLine(Fonts::digits(24 * k, FontWeight::Semibold), overlay::text(time), Color::gray(1));
    const auto labelText =
        oneLine(Fonts::words(17 * k, FontWeight::Medium), QStringLiteral("real time"), Color::gray(1, 0.6));
    const QSizeF timeSize = timeText.size();
    const QSizeF labelSize = labelText.size();
    // Padding, dot, gap, time, gap, label, padding.
    const int width =
        overlay::wholePixels(16 * k + 9 * k + 9 * k + timeSize.width() + 9 * k + labelSize.width() + 16 * k);
    const int height = overlay::wholePixels(46 * k);

    return overlay::paint(width, height, [&](QPainter& painter) {
        painter.setTransform(overlay::bottomLeftOrigin(height));
        QPainterPath body;
        body.addRoundedRect(QRectF(0, 0, width, height), 23 * k, 23 * k);
        painter.fillPath(body, overlay::qt(kBadgeFill.withAlpha(0.86)));

        painter.setPen(Qt::NoPen);
        painter.setBrush(overlay::qt(Color{1.0, 0.3, 0.37, 1}));
        painter.drawEllipse(QRectF(16 * k, (46 * k - 9 * k) / 2, 9 * k, 9 * k));

        drawAt(painter, timeText, height, 34 * k, (46 * k - timeSize.height()) / 2);
        drawAt(painter, labelText, height, 34 * k + timeSize.width() + 9 * k, (46 * k - labelSize.height()) / 2);
    });
}

} // namespace vi::Overlays
