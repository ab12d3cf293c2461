// The compositor's static layers, its overlay cache and pictures for a person to look at.
#include "RecordCore/Compositor.h"
#include "RecordCore/CompositorShapes.h"

#include "CompositorProbe.h"
#include "Platform/Raster/ImageFile.h"
#include "Platform/Raster/Shapes.h"
#include "Support/SyntheticScreen.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vi {
namespace {

using raster::Color;
using raster::Image;
using raster::Pixel;
using test::pixelAt;

bool sameImage(const Image& a, const Image& b) {
    if (a.extent() != b.extent()) return false;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.row(y), b.row(y), std::size_t(a.width()) * 4) != 0) return false;
    }
    return true;
}

Look lookOf(std::optional<ColorTriple> solid, double blur = 0, double shadow = 0,
            std::optional<std::filesystem::path> wallpaper = std::nullopt) {
    return Look(Backdrop::standard(), std::move(wallpaper), solid, blur, 0.08, 0.011, shadow);
}

// Built from stretched corners, the shape is the one drawn pixel by pixel.
TEST(CompositorLayers, StretchedRoundedRectangleMatchesTheDrawnOne) {
    struct Case {
        raster::RectF rect;
        double radius;
    };
    for (const Case& c : {Case{{273.07, 153.6, 1373.87, 772.8}, 21.12}, Case{{64.8, 150, 950.4, 1070.4}, 0},
                          Case{{10.5, 20.25, 300, 80}, 500}, Case{{0, 0, 200, 200}, 100}, Case{{3.3, 4.7, 41, 400}, 7.5}}) {
        const Image expected = raster::roundedRectangle(c.rect, c.radius, Color::gray(1, 0.6));
        EXPECT_TRUE(sameImage(stretchedRoundedRectangle(c.rect, c.radius, Color::gray(1, 0.6)), expected))
            << c.rect.x << " " << c.rect.width << " radius " << c.radius;
    }
}

TEST(CompositorLayers, ShadowBlurAndWallpaper) {
    const Image source = raster::solidImage(Color{0, 0.6, 0}, {0, 0, 640, 360});
    auto backdropOf = [](const Look& look) {
        return Compositor(OutputFormat::youtube, 16.0 / 9, look, {}, 0.5, std::nullopt, std::nullopt, {}, std::nullopt)
            .backdrop();
    };
    const ColorTriple grey{0.5, 0.5, 0.5};
    // Below the window's bottom edge (bottom-left origin) at half scale.
    const raster::RectF w = test::expectedWindow(OutputFormat::youtube, 16.0 / 9, 0.08, 0.5);
    auto below = [&](const Image& image) { return int(pixelAt(image, w.midX(), w.y - 6).g); };
    EXPECT_EQ(below(backdropOf(lookOf(grey, 0, 0.01))), below(backdropOf(lookOf(grey, 0, 0))));
    EXPECT_LT(below(backdropOf(lookOf(grey, 0, 0.62))), below(backdropOf(lookOf(grey, 0, 0))) - 30);

    // A wallpaper with a sharp edge in the middle fills the canvas, centred and upright.
    const test::TempDir dir;
    raster::Bitmap halves(400, 100);
    raster::fillRect(halves, {0, 0, 400, 50}, Color{1, 0, 0});
    raster::fillRect(halves, {0, 50, 400, 50}, Color{0, 0, 1});
    ASSERT_TRUE(raster::writePng(std::move(halves).freeze(), dir / "halves.png"));
    const Image sharp = backdropOf(lookOf(std::nullopt, 0, 0, dir / "halves.png"));
    EXPECT_GT(pixelAt(sharp, 10, 270 - 10).b, 200); // lower half: blue
    EXPECT_GT(pixelAt(sharp, 10, 270 + 10).r, 200); // upper half: red
    EXPECT_TRUE(sameImage(backdropOf(lookOf(std::nullopt, 0.5, 0, dir / "halves.png")), sharp));
    const Image blurred = backdropOf(lookOf(std::nullopt, 0.51 * 20, 0, dir / "halves.png"));
    EXPECT_GT(pixelAt(blurred, 10, 271).b, 40); // the edge is soft

    // A wallpaper that does not load gives the solid colour, and lightness is measured.
    const Compositor missing(OutputFormat::youtube, 16.0 / 9, lookOf(ColorTriple{1, 1, 1}, 0, 0, dir / "none.png"), {},
                             0.5, std::nullopt, std::nullopt, {}, std::nullopt);
    EXPECT_EQ(missing.backdrop().at(5, 5), (Pixel{255, 255, 255, 255}));
    EXPECT_TRUE(missing.light());
    const Compositor dark(OutputFormat::youtube, 16.0 / 9, lookOf(ColorTriple{0.1, 0.1, 0.1}, 0, 0, dir / "none.png"),
                          {}, 0.5, std::nullopt, std::nullopt, {}, std::nullopt);
    EXPECT_FALSE(dark.light());
}

// A header title is drawn in the band of the tall formats and pushes a top bubble below it; in
// 16:9 there is no band.
TEST(CompositorLayers, HeaderBandAndBubbleInset) {
    const Cards header{"Demo", "", "", "", true};
    const CameraStyle top{"circle", 0.24, "tr", true, false};
    for (const OutputFormat format : {OutputFormat::shorts, OutputFormat::youtube}) {
        const Compositor with(format, 16.0 / 9, lookOf(ColorTriple{0, 0, 0.3}), header, 1, std::nullopt, top, {}, std::nullopt);
        const Compositor without(format, 16.0 / 9, lookOf(ColorTriple{0, 0, 0.3}), {}, 1, std::nullopt, top, {}, std::nullopt);
        const double band = format.headerHeight();
        EXPECT_DOUBLE_EQ(without.bubble()->place.rect.y - with.bubble()->place.rect.y, band);
        const raster::IntRect bandArea{0, 0, with.width(), int(band)};
        EXPECT_EQ(test::boundsOf(with.backdrop(), test::whiteish, bandArea).isEmpty(), band == 0);
        EXPECT_TRUE(test::boundsOf(without.backdrop(), test::whiteish, bandArea).isEmpty());
    }
}

TEST(CompositorLayers, FaintPointerIsNotDrawn) {
    const Compositor compositor(OutputFormat::youtube, 16.0 / 9, lookOf(ColorTriple{0, 0, 1}), {}, 0.5, std::nullopt,
                                std::nullopt, {}, std::nullopt);
    const Image source = raster::solidImage(Color{0, 0.6, 0}, {0, 0, 640, 360});
    const Image bare = compositor.frame(source, FrameState(NRect::full()), nullptr);
    FrameState state(NRect::full());
    state.pointer = FrameState::Pointer{0.5, 0.5, 0.01};
    EXPECT_TRUE(sameImage(compositor.frame(source, state, nullptr), bare));
    state.pointer->opacity = 0.011;
    EXPECT_FALSE(sameImage(compositor.frame(source, state, nullptr), bare));
}

// The cache holds a line's image per marked word only in the highlight style, and is emptied
// wholesale past its bound; a key made after that is still drawn right.
TEST(CompositorLayers, OverlayCache) {
    const Image source = raster::solidImage(Color{0, 0.6, 0}, {0, 0, 64, 36});
    for (const char* style : {"highlight", "bold"}) {
        const Compositor compositor(OutputFormat::square, 1, lookOf(ColorTriple{0, 0, 0}), {}, 0.1, std::nullopt,
                                    std::nullopt, {}, CaptionLook{{{"one", "two"}}, style, 0.045, 0.08});
        for (int word : {0, 1, 0}) {
            FrameState state(NRect::full());
            state.caption = FrameState::Caption{0, word, 1};
            compositor.frame(source, state, nullptr);
        }
        EXPECT_EQ(compositor.cachedOverlays(), std::string(style) == "highlight" ? 2u : 1u) << style;
    }

    const Compositor compositor(OutputFormat::square, 1, lookOf(ColorTriple{0, 0, 0}), {}, 0.1, std::nullopt,
                                std::nullopt, {}, std::nullopt);
    FrameState state(NRect::full());
    for (int second = 0; second <= int(Compositor::overlayCacheLimit); ++second) {
        state.clock = second;
        compositor.frame(source, state, nullptr);
    }
    EXPECT_EQ(compositor.cachedOverlays(), Compositor::overlayCacheLimit + 1);
    state.clock = 99999;
    const Image after = compositor.frame(source, state, nullptr);
    EXPECT_EQ(compositor.cachedOverlays(), 1u);
    const Compositor fresh(OutputFormat::square, 1, lookOf(ColorTriple{0, 0, 0}), {}, 0.1, std::nullopt, std::nullopt,
                           {}, std::nullopt);
    EXPECT_TRUE(sameImage(after, fresh.frame(source, state, nullptr)));
}

// Nonsense from a damaged project or a broken view draws what it can and never fails.
TEST(CompositorLayers, DegenerateInputs) {
    const Compositor compositor(OutputFormat::youtube, 16.0 / 9, lookOf(ColorTriple{0, 0, 1}), {}, 0.25, std::nullopt,
                                CameraStyle{}, {}, std::nullopt);
    const Image source = raster::solidImage(Color{0, 0.6, 0}, {0, 0, 33, 17});
    const Image camera = raster::solidImage(Color{1, 0, 0}, {0, 0, 7, 3});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    FrameState state(NRect{nan, 0, 0, 1});
    state.pointer = FrameState::Pointer{0.5, 0.5, 1};
    state.pointerScale = 1e12;
    state.ripples = {{0.5, 0.5, 0.2}, {nan, nan, nan}};
    state.cameraScale = -1;
    state.caption = FrameState::Caption{7, 3, 1};
    const Image frame = compositor.frame(source, state, &camera);
    EXPECT_EQ(frame.extent(), (raster::IntRect{0, 0, compositor.width(), compositor.height()}));
    EXPECT_EQ(compositor.frame(Image(), FrameState(NRect::full()), nullptr).extent(), frame.extent());
}

// Composed frames written for a person to look at: each format with a different background,
// a zoomed view, and the title and end cards.
TEST(CompositorLayers, PicturesToLookAt) {
    const Image screen = test::syntheticScreen(1920, 1080);
    const Image camera = test::syntheticCameraFrame(640, 480);
    const CaptionLook captions{{{"Now", "the", "editor", "speeds", "up", "waits"}}, "highlight", 0.045, 0.08};
    struct Picture {
        const char* name;
        OutputFormat format;
        const char* backdrop;
        NRect view;
        double title, end;
        const char* corner;
    };
    const Picture pictures[] = {
        {"16x9", OutputFormat::youtube, "night", NRect::full(), 0, 0, "br"},
        {"4x5", OutputFormat::x, "aurora", {0.05, 0, 0.9, 0.9 * 1920 / 1080 * 1070.4 / 950.4 * 1080 / 1920}, 0, 0, "bl"},
        {"9x16", OutputFormat::shorts, "sunrise", {0.2, 0.05, 0.42, 0.42 * 1380 / 950.4 * 1920 / 1080}, 0, 0, "tr"},
        {"1x1", OutputFormat::square, "snow", {0.1, 0, 0.7, 0.7 * 16 / 9 * 0.9}, 0, 0, "br"},
        {"16x9-zoomed", OutputFormat::youtube, "ocean", {0.1, 0.15, 0.5, 0.5}, 0, 0, "br"},
        {"16x9-title-card", OutputFormat::youtube, "ember", NRect::full(), 1, 0, "br"},
        {"16x9-end-card", OutputFormat::youtube, "graphite", NRect::full(), 0, 1, "br"},
    };
    for (const Picture& p : pictures) {
        const Backdrop backdrop = Backdrop::presets().at(p.backdrop);
        const Look look(backdrop, std::nullopt, std::nullopt, 0, 0.08, 0.011, 0.62);
        const Cards cards{"Shipping the compositor", "a ten-minute session", "Thanks for watching", "example.org",
                          p.format != OutputFormat::youtube};
        const Compositor compositor(p.format, 16.0 / 9, look, cards, 1, std::nullopt,
                                    CameraStyle{"circle", 0.24, p.corner, true, false}, {}, captions);
        FrameState state(p.view);
        state.pointer = FrameState::Pointer{p.view.x + p.view.w * 0.45, p.view.y + p.view.h * 0.4, 1};
        state.ripples = {{state.pointer->x, state.pointer->y, 0.35}};
        state.pill = FrameState::Pill{8, "skipping 2:14 of waiting", 1};
        state.clock = 754;
        state.caption = FrameState::Caption{0, 2, 1};
        state.titleOpacity = p.title;
        state.endOpacity = p.end;
        state.cameraScale = p.view.w < 0.6 ? 0.8 : 1;
        const Image frame = compositor.frame(screen, state, &camera);
        ASSERT_EQ(frame.width(), compositor.width());
        const auto file = test::outputDirectory() / ("compositor-" + std::string(p.name) + ".png");
        EXPECT_TRUE(raster::writePng(frame, file)) << file;
    }
}

} // namespace
} // namespace vi
