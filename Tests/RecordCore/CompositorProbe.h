#pragma once

#include "Platform/Raster/Image.h"
#include "RecordCore/Compositor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

namespace vi::test {

// Reading composed frames at places worked out from the layout rules, which are stated with the
// origin at the bottom-left of the canvas.

// The pixel at a bottom-left canvas point (x right, y up).
inline raster::Pixel pixelAt(const raster::Image& frame, double x, double y) {
    return frame.at(int(std::floor(x)), frame.height() - 1 - int(std::floor(y)));
}

inline std::string describe(const raster::Pixel& p) {
    return "(r " + std::to_string(p.r) + ", g " + std::to_string(p.g) + ", b " + std::to_string(p.b) + ", a " +
           std::to_string(p.a) + ")";
}

// A window rectangle from the format's placement, turned upright by the rule of the layout
// (worked out here independently of the compositor).
inline raster::RectF expectedWindow(OutputFormat format, double aspect, double padding, double scale) {
    const CanvasRect r = format.window(aspect, padding);
    const double H = format.canvas().height * scale;
    return {r.x * scale, H - (r.y + r.height) * scale, r.width * scale, r.height * scale};
}

// The smallest rectangle (image coordinates, top-left origin) holding every pixel that passes
// `test`; empty when none does.
inline raster::IntRect boundsOf(const raster::Image& frame, const std::function<bool(const raster::Pixel&)>& test,
                                const raster::IntRect& within) {
    int left = within.right();
    int top = within.bottom();
    int right = within.x;
    int bottom = within.y;
    const raster::IntRect area = within.intersected(frame.extent());
    for (int y = area.y; y < area.bottom(); ++y) {
        const raster::Pixel* row = frame.pixels(y - frame.origin().y);
        for (int x = area.x; x < area.right(); ++x) {
            if (!test(row[x - frame.origin().x])) continue;
            left = std::min(left, x);
            right = std::max(right, x + 1);
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
        }
    }
    if (right <= left) return {};
    return {left, top, right - left, bottom - top};
}

// White text (and nothing of the coloured backgrounds the tests use).
inline bool whiteish(const raster::Pixel& p) { return std::min({p.r, p.g, p.b}) > 100; }

// A compositor with every layer switched on (title and end cards, camera bubble, captions) for
// tests that compose many frames and compare them.
inline std::unique_ptr<Compositor> everyLayerCompositor() {
    const Look look(Backdrop::standard(), std::nullopt, std::nullopt, 0, 0.08, 0.011, 0.62);
    return std::make_unique<Compositor>(OutputFormat::youtube, 16.0 / 9, look, Cards{"Title", "", "End", "", false},
                                        0.25, std::nullopt, CameraStyle{}, PointerStyle{},
                                        CaptionLook{{{"one", "two", "three"}, {"four"}}, "highlight", 0.045, 0.08});
}

} // namespace vi::test
