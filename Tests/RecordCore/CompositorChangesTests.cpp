// A frame made only where it differs from the backdrop, on a canvas that holds an earlier
// frame, is the whole frame there; everywhere else the whole frame is the backdrop.
#include "CompositorProbe.h"

#include <gtest/gtest.h>

#include <vector>

namespace vi {
namespace {

TEST(CompositorChanges, ChangedAreasHoldTheFrameAndTheBackdropIsEverywhereElse) {
    const std::unique_ptr<Compositor> made = test::everyLayerCompositor();
    const Compositor& compositor = *made;
    const raster::Image source = raster::solidImage({0.2, 0.3, 0.4}, {0, 0, 320, 180});
    const raster::Image camera = raster::solidImage({0.8, 0.6, 0.5}, {0, 0, 64, 48});
    const raster::IntRect whole{0, 0, compositor.width(), compositor.height()};
    // The bubble shrinks and grows back, the pill comes and goes, the caption changes its line
    // and the end card appears at the last frame.
    auto stateOf = [](int i) {
        FrameState state(NRect::centered(0.5, 0.5, 1 - i * 0.03, 1 - i * 0.03));
        state.pointer = FrameState::Pointer{0.3 + i * 0.02, 0.4, 1};
        state.ripples = {{0.5, 0.5, (i % 5) / 5.0}};
        if (i % 3 != 0) state.pill = FrameState::Pill{2 + i % 3, "fast-forward", 0.8};
        state.clock = i;
        if (i % 4 != 3) state.caption = FrameState::Caption{i % 2, i % 3, 1};
        state.titleOpacity = i < 2 ? 0.7 : 0;
        state.cameraScale = i < 6 ? 1 - i * 0.04 : 0.76 + (i - 6) * 0.04;
        state.endOpacity = i == 11 ? 0.5 : 0;
        return state;
    };
    raster::Bitmap kept(compositor.width(), compositor.height());
    kept.clear({9, 200, 40, 255}); // anything but the backdrop
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        const FrameState state = stateOf(i);
        const std::vector<raster::IntRect> changed = compositor.frameChanges(source, state, &camera, kept);
        const raster::Image expected = compositor.frame(source, state, &camera);
        ASSERT_FALSE(changed.empty());
        if (i == 11) {
            EXPECT_EQ(changed, std::vector<raster::IntRect>{whole});
        }
        for (const raster::IntRect& area : changed) {
            EXPECT_EQ(area.intersected(whole), area);
            EXPECT_EQ(area.x % 2 + area.y % 2, 0);
            EXPECT_TRUE(area.width % 2 == 0 || area.right() == whole.width);
            EXPECT_TRUE(area.height % 2 == 0 || area.bottom() == whole.height);
        }
        for (int y = 0; y < whole.height; ++y) {
            for (int x = 0; x < whole.width; ++x) {
                bool inChanged = false;
                for (const raster::IntRect& area : changed) inChanged = inChanged || area.contains(x, y);
                if (inChanged) {
                    ASSERT_EQ(kept.at(x, y), expected.at(x, y)) << "at " << x << ", " << y;
                } else {
                    ASSERT_EQ(expected.at(x, y), compositor.backdrop().at(x, y)) << "at " << x << ", " << y;
                }
            }
        }
    }
}

} // namespace
} // namespace vi
