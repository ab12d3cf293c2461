#include "Platform/Raster/PainterGradients.h"

#include "Platform/Raster/QtBridge.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace vi::raster {
namespace {

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};

GradientRamp redToBlue(bool before, bool after) { return {{{0, kRed}, {1, kBlue}}, before, after}; }

TEST(PainterGradientsTests, LinearGradientsExtendOnlyWhereAsked) {
    struct Case {
        bool before;
        bool after;
    };
    for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
        SCOPED_TRACE(std::to_string(c.before) + std::to_string(c.after));
        // From y = 30 (red) to y = 70 (blue), down the image.
        const Image image = paintImage({0, 0, 20, 100}, [&](QPainter& painter) {
            drawLinearGradient(painter, {10, 30}, {10, 70}, redToBlue(c.before, c.after));
        });
        EXPECT_EQ(image.at(10, 10), c.before ? kRed.pixel() : Pixel{});
        EXPECT_EQ(image.at(10, 90), c.after ? kBlue.pixel() : Pixel{});
        const Pixel middle = image.at(3, 50);
        EXPECT_NEAR(middle.r, 128, 8);
        EXPECT_NEAR(middle.b, 128, 8);
        EXPECT_EQ(middle.a, 255);
    }
}

TEST(PainterGradientsTests, RadialGradientsFillTheRingBetweenTheirRadii) {
    for (const bool extend : {false, true}) {
        SCOPED_TRACE(extend);
        const Image image = paintImage({0, 0, 100, 100}, [&](QPainter& painter) {
            drawRadialGradient(painter, {50, 50}, 10, 40, redToBlue(extend, extend));
        });
        EXPECT_EQ(image.at(50, 50), extend ? kRed.pixel() : Pixel{}) << "inside the start circle";
        EXPECT_EQ(image.at(2, 2), extend ? kBlue.pixel() : Pixel{}) << "outside the end circle";
        const Pixel ring = image.at(75, 50); // 25 from the centre, half way
        EXPECT_NEAR(ring.r, 128, 10);
        EXPECT_NEAR(ring.b, 128, 10);
    }
    // Under a stretching transform the circles become ellipses.
    const Image stretched = paintImage({0, 0, 200, 100}, [&](QPainter& painter) {
        painter.translate(100, 50);
        painter.scale(3, 1);
        drawRadialGradient(painter, {0, 0}, 0, 30, redToBlue(false, false));
    });
    EXPECT_GT(stretched.at(100 + 80, 50).a, 0);
    EXPECT_EQ(stretched.at(100, 50 + 35).a, 0);
}

} // namespace
} // namespace vi::raster
