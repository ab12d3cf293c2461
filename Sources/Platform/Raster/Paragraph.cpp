#include "Platform/Raster/Paragraph.h"

#include "Platform/Raster/Fonts.h"

#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace vi::raster {

namespace {
// Wide enough that one line never wraps.
constexpr double unboundedWidth = 1e7;
// Font engines size glyphs in whole pixels, so a 41.6-pixel font would be laid out at 42. Text
// is therefore laid out at this one whole size and scaled to the size asked for: every size
// keeps the same proportions, fractions included, and a render at twice the scale is exactly
// twice as large.
constexpr double referenceSize = 128;
} // namespace

Paragraph::Paragraph(QFont font, Qt::Alignment alignment, double letterSpacing)
    : font_(std::move(font)), alignment_(alignment) {
    const double size = font_.pointSizeF();
    scale_ = size > 0 ? size / referenceSize : 1.0;
    font_.setPointSizeF(referenceSize);
    if (letterSpacing != 0) {
        font_.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing / scale_);
    }
    font_.setKerning(true);
}

void Paragraph::add(const QString& text, const QColor& color) {
    spans_.push_back({static_cast<int>(text_.size()), static_cast<int>(text.size()), color});
    text_ += text;
}

QSizeF Paragraph::bounds(double width) const { return layOut(width, nullptr, {}); }

QSizeF Paragraph::size() const { return layOut(unboundedWidth, nullptr, {}); }

void Paragraph::draw(QPainter& painter, const QRectF& rect) const {
    layOut(rect.width(), &painter, rect.topLeft());
}

void Paragraph::drawLine(QPainter& painter, QPointF topLeft) const {
    // Left-aligned on an unbounded line, so the text starts at the given point.
    Paragraph line(*this);
    line.alignment_ = Qt::AlignLeft;
    line.layOut(unboundedWidth, &painter, topLeft);
}

QSizeF Paragraph::layOut(double width, QPainter* painter, QPointF origin) const {
    if (text_.isEmpty()) {
        return {0, 0};
    }
    // Laid out against one fixed 72-dpi device, so a pixel size means the same on every target.
    QTextLayout layout(text_, font_, Fonts::measuringDevice());
    const double layoutWidth = std::max(0.0, width) / scale_;
    QTextOption option(alignment_);
    option.setWrapMode(QTextOption::WordWrap);
    // Unrounded advances: a text at twice the size is exactly twice as wide, so overlays keep
    // their proportions from one render scale to the next.
    option.setUseDesignMetrics(true);
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const Span& span : spans_) {
        QTextLayout::FormatRange range;
        range.start = span.start;
        range.length = span.length;
        range.format.setForeground(span.color);
        formats.append(range);
    }
    layout.setFormats(formats);

    double height = 0;
    double widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(layoutWidth);
        line.setPosition({0, height});
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();

    if (painter != nullptr) {
        painter->save();
        painter->translate(origin);
        painter->scale(scale_, scale_);
        layout.draw(painter, {0, 0});
        painter->restore();
    }
    return {widest * scale_, height * scale_};
}

} // namespace vi::raster
