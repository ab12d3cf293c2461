#include "RecordCore/Overlays.h"

#include "Platform/Raster/Composite.h"
#include "Platform/Raster/ImageFile.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace vi {
namespace {

using raster::Color;
using raster::Image;
using raster::Pixel;

// A pixel's straight (unpremultiplied) colour in 0...255 and its alpha.
struct Straight {
    double r, g, b, a;
};
Straight straight(const Image& image, int x, int y) {
    const Pixel p = image.at(x, y);
    if (p.a == 0) {
        return {0, 0, 0, 0};
    }
    const double f = 255.0 / p.a;
    return {p.r * f, p.g * f, p.b * f, double(p.a)};
}

void expectColour(const Image& image, int x, int y, const Color& expected, double tolerance = 12) {
    const Straight s = straight(image, x, y);
    SCOPED_TRACE("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")");
    EXPECT_NEAR(s.r, expected.red * 255, tolerance);
    EXPECT_NEAR(s.g, expected.green * 255, tolerance);
    EXPECT_NEAR(s.b, expected.blue * 255, tolerance);
    EXPECT_NEAR(s.a, expected.alpha * 255, tolerance);
}

// Pixels that are visibly there but dark: shadow, never white or coloured ink.
int shadowPixels(const Image& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const Straight s = straight(image, x, y);
            count += s.a > 8 && s.r < 40 && s.g < 40 && s.b < 40;
        }
    }
    return count;
}

double maxAlphaWhere(const Image& image, bool (*select)(const Straight&)) {
    double most = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const Straight s = straight(image, x, y);
            if (select(s)) {
                most = std::max(most, s.a);
            }
        }
    }
    return most;
}

bool isHighlight(const Straight& s) { return s.a > 128 && s.r > 230 && s.b < 150 && s.g > 170 && s.g < 240; }

TEST(OverlayTests, FixedDesignsHaveTheirSizes) {
    struct Case {
        const char* name;
        Image image;
        int width;
        int height;
    };
    const std::vector<Case> cases{
        {"arrow", Overlays::pointer("arrow"), 110, 150},
        {"unknown style", Overlays::pointer("sparkle"), 110, 150},
        {"dot", Overlays::pointer("dot"), 150, 150},
        {"ripple", Overlays::ripple(false), 200, 200},
        {"ring", Overlays::ripple(true), 200, 200},
        {"spotlight", Overlays::spotlight(), 200, 200},
        // 52 x 1.6 = 83.2 and 166.4 pixels high; 46 x 1.4 = 64.4.
        {"pill at 1", Overlays::pill(4, "faster", 1), -1, 84},
        {"pill at 2", Overlays::pill(4, "faster", 2), -1, 167},
        {"clock at 1", Overlays::clockBadge("1:05", 1), -1, 65},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.image.origin().x, 0);
        EXPECT_EQ(c.image.origin().y, 0);
        if (c.width >= 0) {
            EXPECT_EQ(c.image.width(), c.width);
        }
        EXPECT_EQ(c.image.height(), c.height);
    }
}

TEST(OverlayTests, PointerStylesSwapFillAndRimAndCastAShadow) {
    const Color dark = Color::gray(0.06);
    const Color white = Color::gray(1);
    // (30, 70) lies inside the arrow's body; the rim is the outer half of a stroke along the
    // edges (the fill covers the inner half), so (12, 60) is on the rim of the left edge x = 14.
    const Image arrow = Overlays::pointer("arrow");
    expectColour(arrow, 30, 70, dark);
    expectColour(arrow, 12, 60, white, 20);
    expectColour(Overlays::pointer(""), 30, 70, dark);

    const Image light = Overlays::pointer("light");
    expectColour(light, 30, 70, white);
    expectColour(light, 12, 60, dark, 20);

    const Image outline = Overlays::pointer("outline");
    expectColour(outline, 14, 60, white, 20);
    EXPECT_LT(outline.at(32, 70).a, 128) << "the outline has no fill";
    // Just outside the white line, the dark wider outline shows.
    const Straight under = straight(outline, 10, 60);
    EXPECT_GT(under.a, 128);
    EXPECT_LT(under.r, 60);

    // Below the tail, past the rim, only the shadow (offset 5 down, blurred) reaches.
    for (const Image* image : {&arrow, &light, &outline}) {
        const Straight shadow = straight(*image, 60, 129);
        EXPECT_GT(shadow.a, 20);
        EXPECT_LT(shadow.a, 0.45 * 255 + 2);
        EXPECT_LT(shadow.r, 30);
        EXPECT_EQ(image->at(60, 148).a, 0);
    }
}

TEST(OverlayTests, DotSitsOnTheHotSpotWithARimAndAShadow) {
    const Image dot = Overlays::pointer("dot");
    expectColour(dot, 14, 10, Color::gray(0.06, 0.92));
    // The circle's radius is 22: the white rim runs along it.
    expectColour(dot, 36, 10, Color::gray(1), 20);
    expectColour(dot, 14, 32, Color::gray(1), 20);
    // Below the rim (the shadow is offset 3 down): dark and translucent.
    const Straight shadow = straight(dot, 14, 38);
    EXPECT_GT(shadow.a, 10);
    EXPECT_LT(shadow.r, 30);
    EXPECT_EQ(dot.at(120, 120).a, 0);
}

TEST(OverlayTests, RippleRingAndSpotlightProbes) {
    const Image thin = Overlays::ripple(false);
    expectColour(thin, 100, 100, {0.39, 0.4, 0.95, 0.22});
    expectColour(thin, 14, 100, {0.8, 0.82, 1.0, 0.95}); // stroke centred 4 inside the circle
    EXPECT_EQ(thin.at(5, 100).a, 0);

    const Image thick = Overlays::ripple(true);
    EXPECT_EQ(thick.at(100, 100).a, 0);
    expectColour(thick, 18, 100, {0.8, 0.82, 1.0, 0.95}); // 8 inside, 12 wide
    expectColour(thick, 100, 182, {0.8, 0.82, 1.0, 0.95});

    const Image glow = Overlays::spotlight();
    EXPECT_NEAR(glow.at(100, 100).a, 0.6 * 255, 3);
    EXPECT_NEAR(glow.at(150, 100).a, 0.3 * 255, 4); // halfway out, half the alpha
    EXPECT_EQ(glow.at(0, 0).a, 0);
    const Straight centre = straight(glow, 100, 100);
    EXPECT_NEAR(centre.b, 0.85 * 255, 6);
}

TEST(OverlayTests, TextBlockHeightFollowsItsLines) {
    const Image titleOnly = Overlays::textBlock("Release notes", "", 600, 48, Color::gray(1));
    const Image withSubtitle = Overlays::textBlock("Release notes", "What changed", 600, 48, Color::gray(1));
    const Image wrapped = Overlays::textBlock("A title long enough to need more than one line at this width", "", 600,
                                              48, Color::gray(1));
    EXPECT_EQ(titleOnly.width(), 600);
    EXPECT_EQ(Overlays::textBlock("x", "", 600.2, 48, Color::gray(1)).width(), 601);
    // One line of a 48-pixel font: about its line height, no gap.
    EXPECT_GT(titleOnly.height(), 48);
    EXPECT_LT(titleOnly.height(), 80);
    // The subtitle adds the gap (0.25 T = 12) and its own line (22-pixel font).
    EXPECT_GT(withSubtitle.height(), titleOnly.height() + 12 + 22);
    EXPECT_GE(wrapped.height(), 2 * titleOnly.height() - 1);
    EXPECT_EQ(Overlays::textBlock("", "", 300, 48, Color::gray(1)).height(), 0);
}

TEST(OverlayTests, LightInkCastsAShadowAndDarkInkNone) {
    const Image white = Overlays::textBlock("Shadowed", "", 500, 64, Color::gray(1));
    EXPECT_GT(shadowPixels(white), 200);
    // The shadow is black at alpha 0.35, at most (where it is not under a glyph).
    const double darkest = maxAlphaWhere(white, [](const Straight& s) { return s.r < 40 && s.a > 0; });
    EXPECT_GT(darkest, 0.15 * 255);
    EXPECT_LE(darkest, 0.35 * 255 + 2);

    const Image black = Overlays::textBlock("Shadowed", "", 500, 64, Color::gray(0));
    // Dark ink: every visible pixel is glyph, fully inked at its centre.
    EXPECT_GT(maxAlphaWhere(black, [](const Straight&) { return true; }), 250);
    int faint = 0;
    for (int y = 0; y < black.height(); ++y) {
        for (int x = 0; x < black.width(); ++x) {
            faint += black.at(x, y).a > 0 && white.at(x, y).a == 0;
        }
    }
    EXPECT_EQ(faint, 0) << "dark ink covers no pixel that light ink (with its shadow) leaves empty";
}

TEST(OverlayTests, CaptionLinesMarkTheActiveWordAndKeepTheirPadding) {
    const std::vector<std::string> words{"ship", "it", "today"};
    EXPECT_EQ(maxAlphaWhere(Overlays::captionLine(words, -1, "highlight", 40, 1000), isHighlight), 0);
    EXPECT_GT(maxAlphaWhere(Overlays::captionLine({"ship"}, 0, "highlight", 40, 1000), isHighlight), 200);
    EXPECT_GT(maxAlphaWhere(Overlays::captionLine(words, 2, "clean", 40, 1000), isHighlight), 200);

    // No words: only the padding (0.35 S or 0.55 S across, 0.3 S down) and, when boxed, the box.
    const Image empty = Overlays::captionLine({}, -1, "clean", 40, 1000);
    EXPECT_EQ(empty.width(), 28);
    EXPECT_EQ(empty.height(), 24);
    const Image emptyBox = Overlays::captionLine({}, -1, "boxed", 40, 1000);
    EXPECT_EQ(emptyBox.width(), 44);
    EXPECT_EQ(emptyBox.height(), 24);
    expectColour(emptyBox, 22, 12, Color::gray(0.04, 0.78), 4);

    // Bold and boxed share a weight: the box only adds padding, 2 x (0.55 - 0.35) S = 16.
    const Image bold = Overlays::captionLine(words, -1, "bold", 40, 1000);
    const Image boxed = Overlays::captionLine(words, -1, "boxed", 40, 1000);
    EXPECT_NEAR(boxed.width() - bold.width(), 16, 1);
    EXPECT_EQ(boxed.height(), bold.height());
    expectColour(boxed, 4, boxed.height() / 2, Color::gray(0.04, 0.78), 4);
    // A shadow under the words.
    EXPECT_GT(shadowPixels(bold), 100);

    // A line too long for its width wraps within it.
    const Image wrapped =
        Overlays::captionLine({"a", "caption", "that", "goes", "on", "and", "on"}, -1, "clean", 40, 300);
    EXPECT_LE(wrapped.width(), 300);
    EXPECT_GT(wrapped.height(), 2 * 40);
}

TEST(OverlayTests, PillAndClockBadgeProbes) {
    const Image pill = Overlays::pill(4, "faster", 1);
    // k = 1.6: the icon's first triangle starts at x = 32 on the mid-line (41.6 from the bottom).
    expectColour(pill, 38, 84 - 42, {0.49, 0.6, 1.0, 1});
    expectColour(pill, pill.width() - 6, 42, {0.06, 0.07, 0.12, 0.88}, 6);
    EXPECT_EQ(pill.at(0, 0).a, 0) << "rounded corner";
    // Two digits are wider than one by about one digit of a 41.6-pixel font.
    const int extra = Overlays::pill(48, "faster", 1).width() - pill.width();
    EXPECT_GT(extra, 15);
    EXPECT_LT(extra, 35);

    const Image clock = Overlays::clockBadge("1:05", 1);
    // k = 1.4: the red dot's centre is 16k + 4.5k = 28.7 from the left, on the mid-line.
    expectColour(clock, 29, 65 - 33, {1.0, 0.3, 0.37, 1});
    expectColour(clock, clock.width() - 6, 32, {0.06, 0.07, 0.12, 0.86}, 6);
    // Digits keep one width, so a clock never jitters as it runs.
    EXPECT_EQ(Overlays::clockBadge("1:11", 1).width(), Overlays::clockBadge("8:08", 1).width());
}

TEST(OverlayTests, EndCardPutsTheMarkAboveTheText) {
    const Image text = Overlays::textBlock("Thanks for watching", "See you soon", 900, 60, Color::gray(1));
    const Image card = Overlays::endCard("Thanks for watching", "See you soon", 1);
    EXPECT_EQ(card.width(), 900);
    EXPECT_EQ(card.height(), 96 + 34 + text.height());
    // The mark is centred (x from 402) at the top; its bottom-right cell holds the red dot,
    // centred 83.9 from the mark's left and 80.8 from its top.
    expectColour(card, 402 + 84, 81, {1.0, 0.3, 0.37, 1});
    // The top-left cell is the faintest blue (alpha 0.25), the middle one 0.55.
    expectColour(card, 402 + 15, 15, {0.49, 0.6, 1.0, 0.25}, 6);
    expectColour(card, 402 + 48, 48, {0.49, 0.6, 1.0, 0.55}, 6);
    EXPECT_EQ(card.at(402 + 48, 96 + 17).a, 0) << "the gap between mark and text";

    const Image doubled = Overlays::endCard("Thanks for watching", "See you soon", 2);
    EXPECT_EQ(doubled.width(), 1800);
}

TEST(OverlayTests, FadeScalesEveryChannelBelowFullOpacity) {
    const Image ring = Overlays::ripple(false);
    EXPECT_TRUE(Overlays::fade(ring, 1).sharesPixelsWith(ring));
    EXPECT_TRUE(Overlays::fade(ring, 0.999).sharesPixelsWith(ring));

    const Image faded = Overlays::fade(ring, 0.9985);
    EXPECT_FALSE(faded.sharesPixelsWith(ring));
    EXPECT_EQ(faded.extent(), ring.extent());
    const Image half = Overlays::fade(ring, 0.5);
    const Pixel before = ring.at(14, 100);
    const Pixel after = half.at(14, 100);
    EXPECT_NEAR(after.a, before.a * 0.5, 1);
    EXPECT_NEAR(after.b, before.b * 0.5, 1);

    const Image gone = Overlays::fade(ring, 0);
    EXPECT_EQ(gone.extent(), ring.extent());
    EXPECT_EQ(gone.at(14, 100), Pixel{});
}

TEST(OverlayTests, LumaMeasuresTheMeanOfAnArea) {
    const Image grey = raster::solidImage(Color::gray(0.5), {0, 0, 40, 20});
    EXPECT_NEAR(Overlays::luma(grey, {0, 0, 40, 20}), 128.0 / 255, 0.005);
    const Image red = raster::solidImage({1, 0, 0, 1}, {0, 0, 40, 20});
    EXPECT_NEAR(Overlays::luma(red, {10, 5, 10, 10}), 0.2126, 0.005);
    // Half of the area lies outside the image and counts as black.
    EXPECT_NEAR(Overlays::luma(grey, {20, 0, 40, 20}), 64.0 / 255, 0.01);
}

TEST(OverlayTests, WhiteComponentWeighsChannelsByLuminance) {
    EXPECT_NEAR(Overlays::whiteComponentSafe(Color::gray(1)), 1.0, 1e-9);
    EXPECT_NEAR(Overlays::whiteComponentSafe({0, 1, 0, 1}), 0.7152, 1e-9);
    EXPECT_NEAR(Overlays::whiteComponentSafe(Color::gray(0.07)), 0.07, 1e-9);
}

TEST(OverlayTests, AbsurdSizesGiveEmptyImagesWithoutThrowing) {
    for (const double size : {std::nan(""), 1e9, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(Overlays::captionLine({"word"}, 0, "bold", size, 800).isNull());
        EXPECT_TRUE(Overlays::textBlock("Title", "Sub", size, 40, Color::gray(1)).isNull());
        EXPECT_TRUE(Overlays::textBlock("Title", "Sub", 600, size, Color::gray(1)).isNull());
        EXPECT_TRUE(Overlays::pill(4, "faster", size).isNull());
        EXPECT_TRUE(Overlays::endCard("Thanks", "", size).isNull());
    }
    // Sizes of nothing draw a pixel or two at most.
    for (const double size : {-5.0, 0.0}) {
        SCOPED_TRACE(size);
        EXPECT_LE(Overlays::captionLine({"word"}, 0, "bold", size, 800).height(), 2);
        EXPECT_LE(Overlays::textBlock("Title", "Sub", 600, size, Color::gray(1)).height(), 2);
    }
}

TEST(OverlayTests, MakersRunOnSeveralThreadsAtOnce) {
    // Frames are composed on several threads, each of which may make a missing caption.
    const Image reference = Overlays::captionLine({"same", "words"}, 1, "highlight", 36, 800);
    std::vector<Image> made(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < made.size(); ++i) {
        threads.emplace_back([&made, i] {
            made[i] = Overlays::captionLine({"same", "words"}, 1, "highlight", 36, 800);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const Image& image : made) {
        ASSERT_EQ(image.extent(), reference.extent());
        for (int y = 0; y < image.height(); ++y) {
            ASSERT_EQ(std::memcmp(image.row(y), reference.row(y), std::size_t(image.width()) * 4), 0);
        }
    }
}

TEST(OverlayTests, WritesASheetOfEveryOverlay) {
    // Not a check: a picture of every overlay on a mid-grey ground for a person to look at.
    const std::vector<Image> overlays{
        Overlays::pointer("arrow"),
        Overlays::pointer("light"),
        Overlays::pointer("outline"),
        Overlays::pointer("dot"),
        Overlays::ripple(false),
        Overlays::ripple(true),
        Overlays::spotlight(),
        Overlays::pill(4, "faster", 1),
        Overlays::clockBadge("12:34", 1),
        Overlays::textBlock("Building the parser", "Part two: tokens", 700, 64, Color::gray(1)),
        Overlays::captionLine({"so", "this", "is", "the", "fix"}, 3, "highlight", 44, 900),
        Overlays::captionLine({"so", "this", "is", "the", "fix"}, -1, "clean", 44, 900),
        Overlays::captionLine({"so", "this", "is", "the", "fix"}, -1, "bold", 44, 900),
        Overlays::captionLine({"so", "this", "is", "the", "fix"}, -1, "boxed", 44, 900),
        Overlays::endCard("Thanks for watching", "vavod.example/notes", 1),
    };
    int width = 0;
    int height = 0;
    for (const Image& image : overlays) {
        width = std::max(width, image.width());
        height += image.height() + 20;
    }
    raster::Bitmap sheet(width + 40, height + 20);
    sheet.clear(Color{0.36, 0.4, 0.46, 1}.pixel());
    int y = 20;
    for (const Image& image : overlays) {
        raster::compositeOver(sheet, image.placedAt({20, y}));
        y += image.height() + 20;
    }
    ASSERT_TRUE(raster::writePng(std::move(sheet).freeze(), test::outputDirectory() / "overlays.png"));
}

} // namespace
} // namespace vi
