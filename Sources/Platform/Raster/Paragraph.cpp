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
} // namespace

Paragraph::Paragraph(QFont font, Qt::Alignment alignment, double letterSpacing)
    : font_(std::move(font)), alignment_(alignment) {
    if (letterSpacing != 0) {
        font_.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
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
    QTextOption option(alignment_);
    option.setWrapMode(QTextOption::WordWrap);
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
        line.setLineWidth(std::max(0.0, width));
        line.setPosition({0, height});
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();

    if (painter != nullptr) {
        layout.draw(painter, origin);
    }
    return {widest, height};
}

} // namespace vi::raster
