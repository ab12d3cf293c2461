// Geometry of composed frames, probed at places worked out from the layout rules for every
// output format at scale 1 and 2.
#include "RecordCore/Compositor.h"

#include "CompositorProbe.h"
#include "Platform/Raster/Color.h"
#include "Platform/Raster/Shapes.h"
#include "RecordCore/Overlays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vi {
namespace {

using raster::Color;
using raster::Image;
using raster::Pixel;
using test::pixelAt;

constexpr double kPadding = 0.08;
constexpr double kRadius = 0.011;
const Color kSourceColor{0, 160.0 / 255, 0};
const ColorTriple kBackdropColor{0, 0, 1};

struct Render {
    OutputFormat format;
    double scale;
};
std::string name(const Render& s) { return std::string(s.format.rawValue()) + " x" + std::to_string(int(s.scale)); }

const std::vector<Render>& renders() {
    static const std::vector<Render> all{{OutputFormat::youtube, 1}, {OutputFormat::x, 1},      {OutputFormat::shorts, 1},
                                        {OutputFormat::square, 1},  {OutputFormat::youtube, 2}, {OutputFormat::x, 2},
                                        {OutputFormat::shorts, 2},  {OutputFormat::square, 2}};
    return all;
}

// A plain blue background without shadow, so that everything the probes see is the layer itself.
Look plainLook() { return Look(Backdrop::standard(), std::nullopt, kBackdropColor, 0, kPadding, kRadius, 0); }

Image greenSource() { return raster::solidImage(kSourceColor, {0, 0, 1920, 1080}); }

Compositor make(const Render& s, std::optional<CameraStyle> camera = std::nullopt, Cards cards = {},
                std::optional<CaptionLook> captions = std::nullopt, PointerStyle pointer = {}) {
    return Compositor(s.format, 16.0 / 9, plainLook(), cards, s.scale, std::nullopt, std::move(camera), std::move(pointer),
                      std::move(captions));
}

bool isSource(const Pixel& p) { return p.r < 30 && p.g > 130 && p.b < 30; }
bool isBackdrop(const Pixel& p) { return p.r < 30 && p.g < 30 && p.b > 220; }
bool isRed(const Pixel& p) { return p.r > 220 && p.g < 40 && p.b < 40; }
bool isDark(const Pixel& p) { return std::max({p.r, p.g, p.b}) < 70; }

#define EXPECT_PIXEL(frame, x, y, check)                                                              \
    EXPECT_TRUE(check(pixelAt(frame, x, y)))                                                          \
        << #check << " at (" << (x) << ", " << (y) << ") " << test::describe(pixelAt(frame, x, y))

// The window: the source fills it, the backdrop shows beyond its rim, and its corners are
// rounded. The pill sits 22 s in from the window's top-right corner, the clock 22 s in from its
// bottom-left corner.
TEST(CompositorGeometry, WindowPillAndClock) {
    for (const Render& s : renders()) {
        SCOPED_TRACE(name(s));
        const Compositor compositor = make(s);
        const double W = s.format.canvas().width * s.scale;
        const double H = s.format.canvas().height * s.scale;
        ASSERT_EQ(compositor.width(), int(W));
        ASSERT_EQ(compositor.height(), int(H));
        const raster::RectF w = test::expectedWindow(s.format, 16.0 / 9, kPadding, s.scale);

        FrameState state(NRect::full());
        state.pill = FrameState::Pill{4, "fast-forward", 1};
        state.clock = 42;
        const Image frame = compositor.frame(greenSource(), state, nullptr);
        ASSERT_EQ(frame.extent(), (raster::IntRect{0, 0, int(W), int(H)}));

        const double in = 3;
        const double out = 1.5 * s.scale + 2; // past the rim
        EXPECT_PIXEL(frame, w.midX(), w.midY(), isSource);
        EXPECT_PIXEL(frame, w.x + in, w.midY(), isSource);
        EXPECT_PIXEL(frame, w.right() - in, w.midY(), isSource);
        EXPECT_PIXEL(frame, w.midX(), w.y + in, isSource);
        EXPECT_PIXEL(frame, w.midX(), w.y + w.height - in, isSource);
        EXPECT_PIXEL(frame, w.x - out, w.midY(), isBackdrop);
        EXPECT_PIXEL(frame, w.right() + out, w.midY(), isBackdrop);
        EXPECT_PIXEL(frame, w.midX(), w.y - out, isBackdrop);
        if (w.y + w.height + out < H) {
            EXPECT_PIXEL(frame, w.midX(), w.y + w.height + out, isBackdrop);
        }
        // Just inside the window's top-left corner, outside its rounded edge.
        EXPECT_FALSE(isSource(pixelAt(frame, w.x + 1, w.y + w.height - 1)));

        const Image pill = Overlays::pill(4, "fast-forward", s.scale);
        const double pillRight = w.right() - 22 * s.scale;
        const double pillMid = w.y + w.height - 22 * s.scale - pill.height() * 0.5;
        EXPECT_PIXEL(frame, pillRight - 6, pillMid, isDark);
        EXPECT_PIXEL(frame, pillRight + 3, pillMid, isSource);
        EXPECT_PIXEL(frame, pillRight - pill.width() + 4 * s.scale, pillMid, isDark);
        EXPECT_PIXEL(frame, pillRight - pill.width() - 3, pillMid, isSource);

        const Image clock = Overlays::clockBadge("0:42", s.scale);
        const double clockLeft = w.x + 22 * s.scale;
        const double clockBottom = w.y + 22 * s.scale;
        EXPECT_PIXEL(frame, clockLeft + 4, clockBottom + clock.height() * 0.5, isDark);
        EXPECT_PIXEL(frame, clockLeft - 3, clockBottom + clock.height() * 0.5, isSource);
        EXPECT_PIXEL(frame, clockLeft + clock.width() * 0.5, clockBottom + 3, isDark);
        EXPECT_PIXEL(frame, clockLeft + clock.width() * 0.5, clockBottom - 3, isSource);
    }
}

// Every corner code places the bubble by the margin rule; the camera's centred square fills it
// and nothing of it shows beyond its ring.
TEST(CompositorGeometry, CameraBubbleInEveryCorner) {
    const Image camera = raster::solidImage(Color{1, 0, 0}, {0, 0, 64, 48});
    for (const Render& s : renders()) {
        const double W = s.format.canvas().width * s.scale;
        const double H = s.format.canvas().height * s.scale;
        const double M = std::min(W, H);
        const double a = std::round(0.24 * M);
        const double m = 0.035 * M;
        for (const char* corner : {"tl", "tc", "tr", "ml", "mc", "mr", "bl", "bc", "br"}) {
            SCOPED_TRACE(name(s) + " " + corner);
            const char column = corner[1];
            const char row = corner[0];
            const double x = column == 'l' ? m : column == 'c' ? (W - a) / 2 : W - a - m;
            const double y = row == 't' ? H - a - m : row == 'm' ? (H - a) / 2 : m;
            const Compositor compositor = make(s, CameraStyle{"circle", 0.24, corner, true, false});
            ASSERT_TRUE(compositor.bubble());
            const raster::RectF& rect = compositor.bubble()->place.rect;
            EXPECT_NEAR(rect.x, x, 1e-9);
            EXPECT_NEAR(rect.y, y, 1e-9);
            EXPECT_EQ(rect.width, a);

            const Image frame = compositor.frame(greenSource(), FrameState(NRect::full()), &camera);
            const double in = 3;
            const double out = 2.5 * s.scale + 3; // past the ring
            EXPECT_PIXEL(frame, x + a / 2, y + a / 2, isRed);
            EXPECT_PIXEL(frame, x + in, y + a / 2, isRed);
            EXPECT_PIXEL(frame, x + a - in, y + a / 2, isRed);
            EXPECT_PIXEL(frame, x + a / 2, y + in, isRed);
            EXPECT_PIXEL(frame, x + a / 2, y + a - in, isRed);
            EXPECT_FALSE(isRed(pixelAt(frame, x - out, y + a / 2)));
            EXPECT_FALSE(isRed(pixelAt(frame, x + a + out, y + a / 2)));
            EXPECT_FALSE(isRed(pixelAt(frame, x + a / 2, y - out)));
            EXPECT_FALSE(isRed(pixelAt(frame, x + a / 2, y + a + out)));
            // A circle: the square's corners are not covered.
            EXPECT_FALSE(isRed(pixelAt(frame, x + in, y + in)));
        }
    }
}

// The pointer's hot spot (14, 10 pixels from the top-left of its image) lands on the pointer's
// place in the view. With a pointer scale that draws the image at s times its size, the arrow's
// white rim and dark fill lie at known offsets from the hot spot: 2 image pixels left of the
// tip's vertical edge is rim, 4 right of it is fill, and above the tip is the picture.
TEST(CompositorGeometry, PointerHotSpot) {
    for (const Render& s : renders()) {
        for (const NRect view : {NRect::full(), NRect{0.25, 0.2, 0.5, 0.5}}) {
            SCOPED_TRACE(name(s) + (view.w < 1 ? " zoomed" : ""));
            const Compositor compositor = make(s);
            const raster::RectF w = test::expectedWindow(s.format, 16.0 / 9, kPadding, s.scale);
            FrameState state(view);
            const double px = 0.4;
            const double py = 0.45;
            state.pointer = FrameState::Pointer{px, py, 1};
            // b = window height x scale x 0.026 / view height; the image is drawn at b / 118.
            state.pointerScale = 118 * s.scale * view.h / (w.height * 0.026);
            const double k = s.scale;
            const Image frame = compositor.frame(greenSource(), state, nullptr);
            const double hx = w.x + (px - view.x) / view.w * w.width;
            const double hy = w.y + w.height - (py - view.y) / view.h * w.height;
            auto at = [&](double dx, double dy) { return pixelAt(frame, hx + dx * k, hy - dy * k); };
            EXPECT_GT(std::min({at(-2, 30).r, at(-2, 30).g, at(-2, 30).b}), 200) << test::describe(at(-2, 30));
            EXPECT_TRUE(isDark(at(4, 30))) << test::describe(at(4, 30));
            EXPECT_TRUE(isSource(at(0, -7))) << test::describe(at(0, -7));
            EXPECT_TRUE(isSource(at(-10, 10))) << test::describe(at(-10, 10));
        }
    }
}

// Click effects: a ripple grows from 0.6 to 2.2 times the pointer's base size over its life, a
// ring from 1.1 to 1.4, a spotlight stays at 2.6. The ring of the click image lies at 86 of its
// 200 pixels from the centre (82 for the thick ring), the spotlight fades out at 100.
TEST(CompositorGeometry, ClickEffectSizes) {
    struct Case {
        const char* effect;
        double progress;
        double size;       // times the base size
        double ringRadius; // fraction of the drawn size; 0 for the spotlight
    };
    const Case cases[] = {
        {"ripple", 0, 0.6, 0.43}, {"ripple", 0.5, 1.4, 0.43}, {"ring", 0, 1.1, 0.41},
        {"ring", 0.5, 1.25, 0.41}, {"spotlight", 0, 2.6, 0},   {"spotlight", 0.7, 2.6, 0},
    };
    for (const Render& s : renders()) {
        const raster::RectF w = test::expectedWindow(s.format, 16.0 / 9, kPadding, s.scale);
        const double base = 200 * s.scale; // b, set through the pointer scale below
        for (const Case& c : cases) {
            SCOPED_TRACE(name(s) + " " + c.effect + " " + std::to_string(c.progress));
            const Compositor compositor = make(s, std::nullopt, {}, std::nullopt, PointerStyle{"arrow", c.effect});
            FrameState state(NRect::full());
            state.pointerScale = base / (w.height * 0.026);
            state.ripples = {{0.5, 0.5, c.progress}};
            const Image frame = compositor.frame(greenSource(), state, nullptr);
            const double cx = w.midX();
            const double cy = w.midY();
            const double d = c.size * base;
            auto red = [&](double r) { return int(pixelAt(frame, cx + r * d, cy).r); };
            if (c.ringRadius > 0) {
                EXPECT_GT(red(c.ringRadius), 70);
                EXPECT_GT(red(-c.ringRadius), 70);
                EXPECT_LT(red(c.ringRadius + 0.06), 25);
                EXPECT_LT(red(c.ringRadius - 0.08), 60);
            } else {
                EXPECT_GT(red(0), 120 * (1 - c.progress));
                EXPECT_NEAR(red(0.25), 0.6 * 0.5 * 255 * (1 - c.progress), 20);
                EXPECT_LT(red(0.52), 8);
            }
        }
    }
}

// The title card sits on the window's centre and rises 20 s into place as it fades in; the end
// card sits on the canvas's centre and settles 24 s from above; a caption line is centred and
// stands `bottom` x H above the canvas's bottom edge.
TEST(CompositorGeometry, CardAndCaptionPlacement) {
    // Titles alone: a subtitle's fainter ink would pass the white test at one opacity only.
    const Cards cards{"Title", "", "The End", "", false};
    const CaptionLook captions{{{"Hello", "world"}}, "clean", 0.045, 0.08};
    for (const Render& s : renders()) {
        SCOPED_TRACE(name(s));
        const Compositor compositor = make(s, std::nullopt, cards, captions);
        const int W = compositor.width();
        const int H = compositor.height();
        const raster::IntRect canvas{0, 0, W, H};
        const raster::RectF w = test::expectedWindow(s.format, 16.0 / 9, kPadding, s.scale);
        auto textBounds = [&](const FrameState& state) {
            return test::boundsOf(compositor.frame(greenSource(), state, nullptr), test::whiteish, canvas);
        };
        auto centreY = [](const raster::IntRect& r) { return r.y + r.height * 0.5; };
        auto expectInside = [](const raster::IntRect& inner, const raster::RectF& outer) {
            EXPECT_FALSE(inner.isEmpty());
            EXPECT_GE(inner.x, outer.x - 1);
            EXPECT_GE(inner.y, outer.y - 1);
            EXPECT_LE(inner.right(), outer.right() + 1);
            EXPECT_LE(inner.bottom(), outer.bottom() + 1);
        };

        FrameState title(NRect::full());
        title.titleOpacity = 1;
        const raster::IntRect shown = textBounds(title);
        const Image card = Overlays::textBlock("Title", "", 0.8 * w.width, 64 * s.scale, Color::gray(1));
        const double midYOnImage = H - w.midY();
        expectInside(shown, {w.midX() - card.width() * 0.5, midYOnImage - card.height() * 0.5, double(card.width()),
                             double(card.height())});
        EXPECT_NEAR(shown.x + shown.width * 0.5, w.midX(), 2 * s.scale);
        title.titleOpacity = 0.5;
        EXPECT_NEAR(centreY(textBounds(title)) - centreY(shown), 10 * s.scale, 1);

        FrameState end(NRect::full());
        end.endOpacity = 1;
        const raster::IntRect settled = textBounds(end);
        const Image endCard = Overlays::endCard("The End", "", s.scale);
        expectInside(settled, {(W - endCard.width()) * 0.5, (H - endCard.height()) * 0.5, double(endCard.width()),
                               double(endCard.height())});
        EXPECT_NEAR(settled.x + settled.width * 0.5, W * 0.5, 2 * s.scale);
        end.endOpacity = 0.5;
        EXPECT_NEAR(centreY(textBounds(end)) - centreY(settled), -12 * s.scale, 1);

        FrameState caption(NRect::full());
        caption.caption = FrameState::Caption{0, 1, 1};
        const raster::IntRect line = textBounds(caption);
        const Image expected = Overlays::captionLine({"Hello", "world"}, -1, "clean", 0.045 * H, 0.86 * W);
        expectInside(line, {(W - expected.width()) * 0.5, H - 0.08 * H - expected.height(), double(expected.width()),
                            double(expected.height())});
        EXPECT_NEAR(line.x + line.width * 0.5, W * 0.5, 2 * s.scale);
    }
}

// The view picks the part of the source shown, inside the crop; the picture is upright and not
// mirrored.
TEST(CompositorGeometry, ViewAndCropSelectTheSourcePart) {
    const Color topLeft{1, 0, 0}, topRight{0, 1, 0}, bottomLeft{0, 0, 1}, bottomRight{1, 1, 0};
    raster::Bitmap quadrants(1920, 1080);
    raster::fillRect(quadrants, {0, 0, 960, 540}, topLeft);
    raster::fillRect(quadrants, {960, 0, 960, 540}, topRight);
    raster::fillRect(quadrants, {0, 540, 960, 540}, bottomLeft);
    raster::fillRect(quadrants, {960, 540, 960, 540}, bottomRight);
    const Image source = std::move(quadrants).freeze();
    auto same = [](const Pixel& p, const Color& c) {
        return std::abs(p.r - c.red * 255) < 8 && std::abs(p.g - c.green * 255) < 8 && std::abs(p.b - c.blue * 255) < 8;
    };
    // In 16:9 the window has the view's shape, so the whole window shows the view.
    for (const Render& s : {renders()[0], renders()[4]}) {
        SCOPED_TRACE(name(s));
        const raster::RectF w = test::expectedWindow(s.format, 16.0 / 9, kPadding, s.scale);
        auto frameOf = [&](std::optional<NRect> crop, NRect view) {
            const Compositor compositor(s.format, 16.0 / 9, plainLook(), {}, s.scale, crop, std::nullopt, {}, std::nullopt);
            return compositor.frame(source, FrameState(view), nullptr);
        };
        const double in = 0.1;
        auto probe = [&](const Image& f, double fx, double fy) {
            return pixelAt(f, w.x + fx * w.width, w.y + (1 - fy) * w.height); // fy from the top
        };
        const Image whole = frameOf(std::nullopt, NRect::full());
        EXPECT_TRUE(same(probe(whole, in, in), topLeft)) << test::describe(probe(whole, in, in));
        EXPECT_TRUE(same(probe(whole, 1 - in, in), topRight));
        EXPECT_TRUE(same(probe(whole, in, 1 - in), bottomLeft));
        EXPECT_TRUE(same(probe(whole, 1 - in, 1 - in), bottomRight));

        const Image zoomed = frameOf(std::nullopt, {0.5, 0, 0.5, 0.5});
        EXPECT_TRUE(same(probe(zoomed, 0.5, 0.5), topRight));
        const Image cropped = frameOf(NRect{0.5, 0.5, 0.5, 0.5}, NRect::full());
        EXPECT_TRUE(same(probe(cropped, 0.5, 0.5), bottomRight));
        const Image both = frameOf(NRect{0, 0.5, 1, 0.5}, NRect{0, 0, 0.5, 1});
        EXPECT_TRUE(same(probe(both, 0.5, 0.5), bottomLeft));
    }
}

} // namespace
} // namespace vi
