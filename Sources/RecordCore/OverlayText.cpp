// Title and end card texts, the end card's mark and caption lines.
#include "RecordCore/Overlays.h"

#include "Platform/Raster/Fonts.h"
#include "Platform/Raster/Paragraph.h"
#include "Platform/Raster/QtBridge.h"
#include "RecordCore/OverlayCanvas.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vi::Overlays {

namespace {

using raster::Color;
using raster::FontWeight;
namespace Fonts = raster::Fonts;

// Light ink gets a shadow that lifts it off busy pictures; dark ink reads without one.
constexpr double kLightInkThreshold = 0.5;

const Color kWhite = Color::gray(1);
const Color kHighlight{1.0, 0.82, 0.4, 1};

// The end card's mark: a 3 x 3 grid of rounded cells fading in from the top-left, with a red
// dot in the bottom-right cell. Drawn for side m from the bottom-left; the grid spans about
// 1.013 m, so the right column and the top row are trimmed slightly by the image's edge.
raster::Image mark(double m) {
    const int side = overlay::wholePixels(m);
    return overlay::paint(side, side, [m, side](QPainter& painter) {
        painter.setTransform(overlay::bottomLeftOrigin(side));
        painter.setPen(Qt::NoPen);
        const double cell = m / 3.6;
        const double pitch = cell + 0.08 * m;
        const double margin = 0.02 * m;
        // Alphas by row from the bottom, then column from the left.
        constexpr double alphas[3][3] = {{0.55, 0.7, -1}, {0.4, 0.55, 0.7}, {0.25, 0.4, 0.55}};
        const Color blue{0.49, 0.6, 1.0, 1};
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                const QRectF box(margin + column * pitch, margin + row * pitch, cell, cell);
                if (alphas[row][column] < 0) {
                    painter.setBrush(overlay::qt(Color{1.0, 0.3, 0.37, 1}));
                    painter.drawEllipse(box);
                    continue;
                }
                QPainterPath rounded;
                rounded.addRoundedRect(box, 0.28 * cell, 0.28 * cell);
                painter.fillPath(rounded, overlay::qt(blue.withAlpha(alphas[row][column])));
            }
        }
    });
}

} // namespace

double whiteComponentSafe(const Color& color) {
    return 0.2126 * color.red + 0.7152 * color.green + 0.0722 * color.blue;
}

raster::Image textBlock(std::string_view title, std::string_view subtitle, double width, double titleSize,
                        const Color& ink) {
    const double t = titleSize;
    raster::Paragraph heading(Fonts::words(t, FontWeight::Bold), Qt::AlignHCenter, -0.015 * t);
    heading.add(overlay::text(title), overlay::qt(ink));
    raster::Paragraph sub(Fonts::words(0.46 * t, FontWeight::Medium), Qt::AlignHCenter);
    sub.add(overlay::text(subtitle), overlay::qt(ink.withAlpha(0.7)));

    const double h1 = std::ceil(std::max(0.0, heading.bounds(width).height()));
    const bool hasSubtitle = !subtitle.empty();
    const double h2 = hasSubtitle ? std::ceil(sub.bounds(width).height()) : 0.0;
    const double gap = hasSubtitle ? 0.25 * t : 0.0;

    const int imageWidth = overlay::wholePixels(width);
    const int imageHeight = overlay::wholePixels(gap + h1 + h2);
    const double shadowAlpha = whiteComponentSafe(ink) > kLightInkThreshold ? 0.35 : 0.0;
    const auto shadow = overlay::shadowFromBottomLeft(Color::gray(0, shadowAlpha), 0.18 * t, 0, -0.03 * t);

    return overlay::paint(imageWidth, imageHeight, [&](QPainter& painter) {
        raster::drawWithShadow(painter, shadow, [&](QPainter& p) {
            heading.draw(p, overlay::flipped(imageHeight, 0, gap + h2, width, h1));
        });
        if (hasSubtitle) {
            sub.draw(painter, overlay::flipped(imageHeight, 0, 0, width, h2));
        }
    });
}

raster::Image endCard(std::string_view title, std::string_view subtitle, double scale) {
    const raster::Image text = textBlock(title, subtitle, 900 * scale, 60 * scale, kWhite);
    const double tw = text.width();
    const double th = text.height();
    const double m = 96 * scale;
    const double gap = 34 * scale;
    const raster::Image badge = mark(m);
    const double w = std::max(tw, m);
    const int imageHeight = overlay::wholePixels(m + gap + th);
    return overlay::paint(overlay::wholePixels(w), imageHeight, [&](QPainter& painter) {
        painter.drawImage(overlay::flipped(imageHeight, (w - tw) / 2, 0, tw, th), raster::qimageView(text));
        painter.drawImage(overlay::flipped(imageHeight, (w - m) / 2, gap + th, badge.width(), badge.height()),
                          raster::qimageView(badge));
    });
}

raster::Image captionLine(const std::vector<std::string>& words, int active, std::string_view style, double size,
                          double maxWidth) {
    const double s = size;
    const bool clean = style == "clean";
    const bool bold = style == "bold";
    const bool boxed = style == "boxed";

    raster::Paragraph line(Fonts::words(s, clean ? FontWeight::Semibold : FontWeight::Heavy), Qt::AlignHCenter,
                           -0.01 * s);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const QString word = (i == 0 ? QString() : QStringLiteral(" ")) + overlay::text(words[i]);
        line.add(word, overlay::qt(int(i) == active ? kHighlight : kWhite));
    }

    const double shadowAlpha = boxed ? 0.0 : bold ? 0.95 : 0.8;
    const double shadowBlur = (bold ? 0.3 : 0.22) * s;
    const auto shadow = overlay::shadowFromBottomLeft(Color::gray(0, shadowAlpha), shadowBlur, 0, -0.04 * s);
    const double px = (boxed ? 0.55 : 0.35) * s;
    const double py = 0.3 * s;

    const QSizeF bounds = line.bounds(maxWidth - 2 * px);
    const int imageWidth = overlay::wholePixels(bounds.width() + 2 * px);
    const int imageHeight = overlay::wholePixels(bounds.height() + 2 * py);

    return overlay::paint(imageWidth, imageHeight, [&](QPainter& painter) {
        if (boxed) {
            QPainterPath box;
            box.addRoundedRect(QRectF(0, 0, imageWidth, imageHeight), 0.32 * s, 0.32 * s);
            painter.fillPath(box, overlay::qt(Color::gray(0.04, 0.78)));
        }
        raster::drawWithShadow(painter, shadow, [&](QPainter& p) {
            line.draw(p, overlay::flipped(imageHeight, px, py, imageWidth - 2 * px, imageHeight - 2 * py));
        });
    });
}

} // namespace vi::Overlays
