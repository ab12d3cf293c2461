#include "CompositorProbe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace vi {
namespace {

// Frames composed on several threads at once, sharing one compositor and its overlay cache,
// are the frames composed one after another.
TEST(CompositorThreads, ConcurrentFramesMatchSequentialOnes) {
    const std::unique_ptr<Compositor> shared = test::everyLayerCompositor();
    const Compositor& compositor = *shared;
    const raster::Image source = raster::solidImage({0.2, 0.3, 0.4}, {0, 0, 320, 180});
    const raster::Image camera = raster::solidImage({0.8, 0.6, 0.5}, {0, 0, 64, 48});
    constexpr int frames = 24;
    auto stateOf = [](int i) {
        FrameState state(NRect::centered(0.5, 0.5, 1 - i * 0.02, 1 - i * 0.02));
        state.pointer = FrameState::Pointer{0.3 + i * 0.01, 0.4, 1};
        state.ripples = {{0.5, 0.5, (i % 9) / 9.0}};
        state.pill = FrameState::Pill{2 + i % 3, "fast-forward", 1};
        state.clock = i / 4;
        state.caption = FrameState::Caption{i % 2, i % 3, 1};
        state.titleOpacity = i < 4 ? 0.7 : 0;
        state.endOpacity = i > 20 ? 0.5 : 0;
        state.cameraScale = 1 - i * 0.01;
        return state;
    };
    std::vector<raster::Image> sequential;
    {
        const std::unique_ptr<Compositor> reference = test::everyLayerCompositor();
        for (int i = 0; i < frames; ++i) sequential.push_back(reference->frame(source, stateOf(i), &camera));
    }
    std::vector<raster::Image> concurrent(frames);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            raster::Bitmap reused;
            for (int i = t; i < frames; i += 4) {
                compositor.frame(source, stateOf(i), &camera, reused);
                concurrent[std::size_t(i)] = raster::Bitmap::copyOf(
                    raster::Image(reused.storage(), reused.bits(), reused.width(), reused.height(), reused.stride()))
                                                 .freeze();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < frames; ++i) {
        const raster::Image& a = sequential[std::size_t(i)];
        const raster::Image& b = concurrent[std::size_t(i)];
        ASSERT_EQ(a.extent(), b.extent());
        bool same = true;
        for (int y = 0; y < a.height() && same; ++y) same = std::memcmp(a.row(y), b.row(y), std::size_t(a.width()) * 4) == 0;
        EXPECT_TRUE(same) << "frame " << i;
    }
}

} // namespace
} // namespace vi
