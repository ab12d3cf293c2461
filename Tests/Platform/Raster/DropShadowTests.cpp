#include "Platform/Raster/DropShadow.h"

#include "Platform/Raster/QtBridge.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>

namespace vi::raster {
namespace {

const DropShadow kHardShadow{Color::gray(0, 0.5), 0, 0, 10};

// A 200 x 200 image with a white square drawn (with the shadow) at the given rectangle.
Image squareWithShadow(const QRectF& square, const DropShadow& shadow) {
    return paintImage({0, 0, 200, 200}, [&](QPainter& painter) {
        drawWithShadow(painter, shadow, [&](QPainter& p) { p.fillRect(square, Qt::white); });
    });
}

TEST(DropShadowTests, ShadowLiesUnderTheDrawingAtItsOffset) {
    const Image image = squareWithShadow({50, 50, 100, 100}, kHardShadow);
    EXPECT_EQ(image.at(100, 100), (Pixel{255, 255, 255, 255})) << "the drawing covers its own shadow";
    EXPECT_EQ(image.at(100, 155), (Pixel{0, 0, 0, 128})) << "10 pixels below: the shadow alone";
    EXPECT_EQ(image.at(100, 165).a, 0);
    EXPECT_EQ(image.at(100, 45).a, 0) << "nothing above";

    const Image none = squareWithShadow({50, 50, 100, 100}, {Color::gray(0, 0), 16, 0, 10});
    EXPECT_EQ(none.at(100, 155).a, 0);
    EXPECT_EQ(none.at(100, 100).a, 255);
}

TEST(DropShadowTests, BlurFollowsAGaussianOfHalfTheBlurValue) {
    // A blur of 80 is a Gaussian of sigma 40, drawn through the reduced-resolution path. Along
    // a long straight edge the shadow's alpha is the Gaussian's cumulative profile: half at the
    // edge, 15.9% one sigma outside, 84.1% one sigma inside.
    const DropShadow soft{Color::gray(0, 1), 80, 0, 0};
    // A wide white area ends at x = 200; the clip hides it, leaving its shadow alone.
    const Image shadowOnly = paintImage({0, 0, 400, 400}, [&](QPainter& painter) {
        painter.setClipRect(QRectF(200, 0, 200, 400));
        drawWithShadow(painter, soft, [](QPainter& p) { p.fillRect(QRectF(-400, -400, 600, 1200), Qt::white); });
    });
    EXPECT_NEAR(shadowOnly.at(240, 200).a, 0.159 * 255, 6);
    EXPECT_NEAR(shadowOnly.at(200, 200).a, 0.5 * 255, 6);
    EXPECT_NEAR(shadowOnly.at(280, 200).a, 0.023 * 255, 4);
    EXPECT_EQ(shadowOnly.at(199, 200).a, 0) << "clipped away";
    // The profile is the same all along the edge: no blocks from the reduced resolution.
    for (int y = 100; y < 300; y += 7) {
        ASSERT_EQ(shadowOnly.at(240, y), shadowOnly.at(240, 200));
    }
}

TEST(DropShadowTests, ShapesOutsideTheImageStillCastTheirShadowIntoIt) {
    // The square ends 5 pixels left of the image; its shadow, moved 10 to the right, enters it.
    const Image image = squareWithShadow({-60, 50, 55, 100}, {Color::gray(0, 0.5), 0, 10, 0});
    EXPECT_EQ(image.at(2, 100).a, 128);
    EXPECT_EQ(image.at(6, 100).a, 0);
}

} // namespace
} // namespace vi::raster
