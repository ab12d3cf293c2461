// A canvas kept between frames and brought up to date by repainting only what can differ holds
// exactly the frame a whole paint makes, through still stretches, zooms, overlays that move and
// fade, the title and end cards; and while the view holds still it repaints little.
#include "CompositorProbe.h"

#include "Platform/Raster/Shapes.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace vi {
namespace {

constexpr int kSourceWidth = 320, kSourceHeight = 180, kSquare = 12;

// A still screen with one small square that moves: the square's old and new places are all
// that differ between two frames.
raster::Image screenWithSquareAt(int x) {
    raster::Bitmap picture(kSourceWidth, kSourceHeight);
    raster::fillRect(picture, picture.extent(), {0.2, 0.3, 0.4});
    raster::fillRect(picture, {40, 20, 200, 3}, {0.9, 0.9, 0.9}); // a line of "text"
    raster::fillRect(picture, {x, 90, kSquare, kSquare}, {1, 0.5, 0});
    return std::move(picture).freeze();
}

struct Step {
    NRect view = NRect::full();
    bool pointer = false;
    bool pill = false;
    double cameraScale = 1;
    double title = 0;
    double end = 0;
    bool sourceUnknown = false; // the caller cannot tell what changed in the source
};

TEST(CompositorUpdate, KeptCanvasHoldsTheWholeFrameAfterEveryUpdate) {
    const std::unique_ptr<Compositor> made = test::everyLayerCompositor();
    const Compositor& compositor = *made;
    const raster::Image camera = raster::solidImage({0.8, 0.6, 0.5}, {0, 0, 64, 48});
    const raster::IntRect whole{0, 0, compositor.width(), compositor.height()};
    const NRect zoomed = NRect::centered(0.5, 0.5, 0.6, 0.6);
    const std::vector<Step> steps = {
        {.title = 0.7},                                  // first frame, under the title card
        {.title = 0.3}, {}, {}, {.pointer = true},       // the card fades out; the pointer comes
        {.pointer = true, .pill = true},                 // the pill appears
        {.pointer = true},                               // and goes
        {.view = NRect::centered(0.5, 0.5, 0.8, 0.8)},   // a zoom starts
        {.view = zoomed, .cameraScale = 0.8},            // the bubble shrinks while zoomed
        {.view = zoomed, .cameraScale = 0.8}, {.view = zoomed, .sourceUnknown = true},
        {.view = zoomed, .end = 0.5},                    // the end card
        {.view = zoomed},                                // and after it
    };
    raster::Bitmap kept;
    Compositor::Painted painted;
    int squareAt = 30;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i);
        const Step& step = steps[i];
        const int movedTo = squareAt + 7;
        const raster::Image source = screenWithSquareAt(movedTo);
        std::optional<std::vector<raster::IntRect>> sourceChanged;
        if (!step.sourceUnknown) sourceChanged = std::vector<raster::IntRect>{{squareAt, 90, movedTo - squareAt + kSquare, kSquare}};
        squareAt = movedTo;
        FrameState state(step.view);
        if (step.pointer) state.pointer = FrameState::Pointer{0.3 + i * 0.02, 0.4, 1};
        state.ripples = {{0.5, 0.5, (i % 5) / 5.0}};
        if (step.pill) state.pill = FrameState::Pill{2, "fast-forward", 0.8};
        state.clock = int(i);
        state.caption = FrameState::Caption{int(i % 2), int(i % 3), 1};
        state.cameraScale = step.cameraScale;
        state.titleOpacity = step.title;
        state.endOpacity = step.end;

        const std::vector<raster::IntRect> changed =
            compositor.frameUpdate(source, sourceChanged, state, &camera, kept, painted);
        const raster::Image expected = compositor.frame(source, state, &camera);
        ASSERT_FALSE(changed.empty());
        long changedPixels = 0;
        for (const raster::IntRect& area : changed) {
            EXPECT_EQ(area.intersected(whole), area);
            EXPECT_EQ(area.x % 2 + area.y % 2, 0);
            EXPECT_TRUE(area.width % 2 == 0 || area.right() == whole.width);
            EXPECT_TRUE(area.height % 2 == 0 || area.bottom() == whole.height);
            changedPixels += long(area.width) * area.height;
        }
        for (int y = 0; y < whole.height; ++y)
            for (int x = 0; x < whole.width; ++x) ASSERT_EQ(kept.at(x, y), expected.at(x, y)) << "at " << x << ", " << y;
        // Whole frames only where they are due: the first, the end card and the one after it.
        const bool wholeDue = i == 0 || step.end > 0 || steps[i - 1].end > 0;
        EXPECT_EQ(changed == std::vector<raster::IntRect>{whole}, wholeDue);
        // A still view with a small change in the source, clock and caption: a small part.
        if (i == 3) {
            EXPECT_LT(changedPixels, long(whole.width) * whole.height / 4);
        }
    }
}

} // namespace
} // namespace vi
