#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

class QPainter;

namespace vi::raster {

// A run of text in one font whose spans may have different colours, laid out in lines that
// wrap at word boundaries and measured the way the drawing code places it: every line's
// height includes the font's leading, the first line starts at the top of its rectangle, and
// lines are aligned within the rectangle's width. Sizes are in pixels of a device at
// Fonts::textDotsPerMeter.
class Paragraph {
public:
    Paragraph(QFont font, Qt::Alignment alignment, double letterSpacing = 0);

    void add(const QString& text, const QColor& color);
    bool empty() const { return text_.isEmpty(); }

    // The size of the text wrapped within width: the widest line and the sum of line heights.
    // Empty text measures (0, 0).
    QSizeF bounds(double width) const;

    // The size of the text on one line, never wrapped.
    QSizeF size() const;

    // Draws the text wrapped within rect's width, its first line at rect's top; nothing is
    // clipped to the rectangle's height.
    void draw(QPainter& painter, const QRectF& rect) const;

    // Draws the text on one line with its box's top-left at the given point.
    void drawLine(QPainter& painter, QPointF topLeft) const;

private:
    struct Span {
        int start;
        int length;
        QColor color;
    };

    QSizeF layOut(double width, QPainter* painter, QPointF origin) const;

    QFont font_;      // at the reference size
    double scale_;    // from the reference size to the size asked for
    Qt::Alignment alignment_;
    QString text_;
    std::vector<Span> spans_;
};

} // namespace vi::raster
