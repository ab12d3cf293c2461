#pragma once

#include "Platform/Raster/Color.h"
#include "Platform/Raster/Geometry.h"
#include "Platform/Raster/Image.h"

#include <string>
#include <string_view>
#include <vector>

namespace vi {

// The pictures the compositor lays over or around the recording: the redrawn pointer, click
// effects, card texts, the speed pill, the clock badge and caption lines, plus a fade and a
// brightness probe. Each maker takes plain values and returns an image of a fixed design
// with its extent at the origin (row 0 is the top); none keeps state, so any thread may call
// them at once. Sizes are pixels; `scale` is the render scale (1 for 1080-line canvases, 2
// for 4K). Text is drawn in the interface fonts (raster::Fonts), whose ExtraBold stands in
// for the heaviest weight.
namespace Overlays {

// Mean luma (Rec. 709 weights over the sRGB-encoded channels) of the image over `area`
// (canvas pixels, top-left origin), 0...1; transparent parts count as black.
double luma(const raster::Image& image, const raster::IntRect& area);

// The relative luminance of a colour's sRGB components (0.2126 R + 0.7152 G + 0.0722 B).
double whiteComponentSafe(const raster::Color& color);

// A bold title over an optional medium subtitle, both centred and wrapped within `width`;
// the title casts a soft shadow when the ink is light.
raster::Image textBlock(std::string_view title, std::string_view subtitle, double width, double titleSize,
                        const raster::Color& ink);

// The redrawn pointer in a style of the project ("dot", "light", "outline"; anything else is
// the default dark arrow). Its hot spot is 14 pixels from the left and 10 from the top.
raster::Image pointer(std::string_view style);
// The arrow, 110 x 150, with its shadow.
raster::Image pointerShape(const raster::Color& fill, const raster::Color& stroke, bool outlineOnly);
// The click ring, 200 x 200: a filled thin ring, or a thicker ring without fill.
raster::Image ripple(bool thick);
// A warm glow, 200 x 200, fading to nothing at its rim.
raster::Image spotlight();

// The end card: the mark centred above the end title and subtitle.
raster::Image endCard(std::string_view title, std::string_view subtitle, double scale);

// Every channel (premultiplied colour and alpha) times alpha; the image itself when alpha is
// 0.999 or more.
raster::Image fade(const raster::Image& image, double alpha);

// The speed pill, e.g. "4×" with a label such as "faster".
raster::Image pill(int speed, std::string_view label, double scale);
// The real-time clock badge with its red dot and the label "real time".
raster::Image clockBadge(std::string_view time, double scale);
// One caption line in a style ("clean", "bold", "boxed", "highlight"); the word at `active`
// is marked in the highlight colour (-1 marks none). Wraps within maxWidth.
raster::Image captionLine(const std::vector<std::string>& words, int active, std::string_view style, double size,
                          double maxWidth);

} // namespace Overlays
} // namespace vi
