// Composing export frames: a 1080p screen frame into the 16:9 canvas under a moving zoom, with
// the redrawn pointer and its click ripples, the speed pill, the clock, the camera bubble and
// highlighted captions. Prints milliseconds per frame on one core, frames per second on 4
// threads and on all cores, and the ratio against the bare work every frame must do at least
// (the source scaled into the window over a copy of the backdrop), measured in the same run.
#include "Platform/Raster/Resample.h"
#include "Platform/Raster/WorkerPool.h"
#include "RecordCore/Compositor.h"
#include "Support/SyntheticScreen.h"

#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

using namespace vi;

namespace {

constexpr int kFrames = 600;
constexpr double kFps = 60;
constexpr int kRounds = 3;

// Processor time of this thread: other programs sharing the machine do not inflate it.
double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Ten seconds of a session: the view zooms in to 2x and out again while it pans, the pointer
// wanders and clicks twice a second, a x4 wait shows its pill, and captions run underneath.
std::vector<FrameState> session() {
    std::vector<FrameState> states;
    for (int i = 0; i < kFrames; ++i) {
        const double t = i / kFps;
        const double zoom = 1.5 - 0.5 * std::cos(t * 0.9);
        const double w = 1 / zoom;
        const double cx = 0.5 + (0.5 - w / 2) * std::sin(t * 0.7);
        const double cy = 0.5 + (0.5 - w / 2) * std::cos(t * 0.5);
        FrameState state(NRect::centered(cx, cy, w, w));
        const double px = cx + w * 0.3 * std::sin(t * 1.3);
        const double py = cy + w * 0.3 * std::cos(t * 1.1);
        state.pointer = FrameState::Pointer{px, py, 1};
        state.pointerScale = 1.6;
        const double sinceClick = std::fmod(t, 0.5);
        if (sinceClick < 0.45) state.ripples = {{px, py, sinceClick / 0.45}};
        state.pill = FrameState::Pill{4, "skipping 0:42 of waiting", std::min(1.0, t / 0.12)};
        state.clock = t * 4;
        state.cameraScale = 1 - 0.24 * std::clamp((zoom - 1.05) / 0.45, 0.0, 1.0);
        state.caption = FrameState::Caption{int(t / 2) % 5, int(t * 2) % 4, 1};
        states.push_back(state);
    }
    return states;
}

CaptionLook captions() {
    CaptionLook look;
    look.lines = {{"So", "the", "plan", "is", "simple"},
                  {"we", "record", "the", "screen", "first"},
                  {"then", "the", "editor", "speeds", "up"},
                  {"all", "the", "waiting", "parts", "automatically"},
                  {"and", "zooms", "where", "things", "happen"}};
    look.style = "highlight";
    look.size = 0.045;
    look.bottom = 0.08;
    return look;
}

Compositor makeCompositor(raster::WorkerPool& pool) {
    const Look look(Backdrop::standard(), std::nullopt, std::nullopt, 0, 0.08, 0.011, 0.62);
    return Compositor(OutputFormat::youtube, 16.0 / 9, look, Cards{}, 1, std::nullopt, CameraStyle{}, PointerStyle{},
                      captions(), pool);
}

// Best of a few rounds of `frames` frames on this thread, in thread time per frame.
template <typename Render>
double msPerFrame(int frames, Render&& render) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const double begin = threadMilliseconds();
        for (int i = 0; i < frames; ++i) render(i);
        best = std::min(best, (threadMilliseconds() - begin) / frames);
    }
    return best;
}

// Frames per second with `threads` threads sharing one compositor, each with its own canvas.
double framesPerSecond(const Compositor& compositor, const std::vector<FrameState>& states, const raster::Image& source,
                       const raster::Image& camera, int threads) {
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> next{0};
        const double begin = wallSeconds();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&] {
                raster::Bitmap canvas;
                for (int i = next++; i < kFrames; i = next++) compositor.frame(source, states[std::size_t(i)], &camera, canvas);
            });
        }
        for (std::thread& worker : workers) worker.join();
        best = std::max(best, kFrames / (wallSeconds() - begin));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    // Text is drawn with Qt, which needs an application object; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const raster::Image source = test::syntheticScreen(1920, 1080);
    const raster::Image camera = test::syntheticCameraFrame(640, 480);
    const std::vector<FrameState> states = session();
    raster::WorkerPool oneCore(1);
    const Compositor compositor = makeCompositor(oneCore);

    // The least any compositor does per frame: the view scaled into the window, and the canvas
    // filled from the backdrop.
    raster::Resampler resampler(oneCore);
    const CompositorGeometry::Rect window = CompositorGeometry::toRaster(compositor.window(), compositor.height());
    raster::Bitmap layer(window.enclosingPixels());
    raster::Bitmap canvas(compositor.width(), compositor.height());
    const double bare = msPerFrame(kFrames, [&](int i) {
        const NRect& v = states[std::size_t(i)].view;
        resampler.render(source, {v.x * 1920, v.y * 1080, v.w * 1920, v.h * 1080}, window, layer);
        const raster::Image& backdrop = compositor.backdrop();
        for (int y = 0; y < canvas.height(); ++y) std::memcpy(canvas.row(y), backdrop.row(y), std::size_t(canvas.width()) * 4);
    });

    raster::Bitmap frame;
    const double composed = msPerFrame(kFrames, [&](int i) { compositor.frame(source, states[std::size_t(i)], &camera, frame); });

    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const double fps1 = framesPerSecond(compositor, states, source, camera, 1);
    const double fps4 = framesPerSecond(compositor, states, source, camera, 4);
    const double fpsAll = framesPerSecond(compositor, states, source, camera, cores);

    std::printf("compose %d frames of a 1920x1080 source into the 16:9 canvas (%dx%d): moving zoom, pointer, ripples,\n"
                "pill, clock, camera bubble, captions; best of %d rounds\n",
                kFrames, compositor.width(), compositor.height(), kRounds);
    std::printf("  one core:     %7.2f ms/frame in thread time  (target <= 6.0)\n", composed);
    std::printf("  baseline:     %7.2f ms/frame for the scaled view over the copied backdrop alone\n", bare);
    std::printf("  ratio composed / baseline: %.2f x\n", composed / bare);
    std::printf("  1 thread:     %7.1f frames/s\n", fps1);
    std::printf("  4 threads:    %7.1f frames/s  (%.2f x one thread)\n", fps4, fps4 / fps1);
    std::printf("  %2d threads:   %7.1f frames/s  (%.2f x one thread, all cores)\n", cores, fpsAll, fpsAll / fps1);
    return 0;
}
