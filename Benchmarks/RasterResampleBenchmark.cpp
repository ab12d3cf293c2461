// Resampling a screen frame into the default 16:9 window, the work every exported frame does.
// Prints milliseconds per frame on one core for the Lanczos shrink and the bilinear enlarge,
// and libswscale's Lanczos at the same sizes (whole pixels only) as the baseline.
#include "Platform/Raster/Resample.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

using namespace vi::raster;

namespace {

constexpr int kSourceWidth = 1920;
constexpr int kSourceHeight = 1080;
// The default window on the 16:9 canvas (padding 0.08): 1373.87 x 772.8 at (273.07, 153.6).
constexpr RectF kWindow{273.0666, 153.6, 1373.8666, 772.8};
constexpr int kWarmUpRuns = 3;
constexpr int kMeasuredRuns = 40;

// Text-like detail with sharp edges and smooth areas, as on a screen.
Image makeFrame() {
    Bitmap frame(kSourceWidth, kSourceHeight);
    for (int y = 0; y < kSourceHeight; ++y) {
        Pixel* row = frame.pixels(y);
        for (int x = 0; x < kSourceWidth; ++x) {
            const bool glyph = ((x / 3) ^ (y / 5)) % 7 == 0 && (y % 24) < 16;
            const auto shade = std::uint8_t((x * 255) / kSourceWidth);
            row[x] = glyph ? Pixel{230, 230, 230, 255} : Pixel{shade, std::uint8_t(40 + y % 50), 30, 255};
        }
    }
    return std::move(frame).freeze();
}

// Processor time of this thread: other programs sharing the machine do not inflate it.
double threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

// The fastest of many calls, in milliseconds: on a machine shared with other work every
// disturbance only adds time, so the minimum is the figure that repeats from run to run.
double millisecondsPerRun(const std::function<void()>& run) {
    for (int i = 0; i < kWarmUpRuns; ++i) {
        run();
    }
    std::vector<double> times;
    for (int i = 0; i < kMeasuredRuns; ++i) {
        const double begin = threadMilliseconds();
        run();
        times.push_back(threadMilliseconds() - begin);
    }
    return *std::min_element(times.begin(), times.end());
}

double swscaleLanczos(const Image& frame, int width, int height) {
    SwsContext* context = sws_getContext(frame.width(), frame.height(), AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_BGRA,
                                         SWS_LANCZOS, nullptr, nullptr, nullptr);
    if (context == nullptr) {
        return -1;
    }
    std::vector<std::uint8_t> out(std::size_t(width) * height * 4);
    const std::uint8_t* sourcePlanes[] = {frame.row(0)};
    const int sourceStrides[] = {int(frame.stride())};
    std::uint8_t* targetPlanes[] = {out.data()};
    const int targetStrides[] = {width * 4};
    const double ms = millisecondsPerRun(
        [&] { sws_scale(context, sourcePlanes, sourceStrides, 0, frame.height(), targetPlanes, targetStrides); });
    sws_freeContext(context);
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    // "--ours" measures only our fast paths (for profiling them).
    const bool oursOnly = argc > 1 && std::string_view(argv[1]) == "--ours";
    const Image frame = makeFrame();
    WorkerPool oneCore(1);
    Resampler resampler(oneCore);
    Bitmap window(kWindow.enclosingPixels());

    const RectF wholeFrame{0, 0, kSourceWidth, kSourceHeight};
    const double shrink = millisecondsPerRun([&] { resampler.render(frame, wholeFrame, kWindow, window); });
    // A zoom of 2 about a point that is not on the pixel grid, shown in the same window.
    const RectF zoomed{480.37, 270.61, kSourceWidth / 2.0, kSourceHeight / 2.0};
    const double enlarge = millisecondsPerRun([&] { resampler.render(frame, zoomed, kWindow, window); });
    if (oursOnly) {
        std::printf("lanczos shrink %.2f ms, bilinear enlarge %.2f ms\n", shrink, enlarge);
        return 0;
    }
    resampler.setPortableOnly(true);
    const double shrinkPortable = millisecondsPerRun([&] { resampler.render(frame, wholeFrame, kWindow, window); });
    const double baseline = swscaleLanczos(frame, window.width(), window.height());

    std::printf("resample %dx%d -> %dx%d at (%.2f, %.2f), one core (thread processor time), best of %d frames\n", kSourceWidth, kSourceHeight,
                window.width(), window.height(), kWindow.x, kWindow.y, kMeasuredRuns);
    std::printf("  lanczos shrink:            %7.2f ms/frame (target <= 3.0)\n", shrink);
    std::printf("  bilinear enlarge (zoom 2): %7.2f ms/frame (target <= 1.5)\n", enlarge);
    std::printf("  lanczos shrink, portable:  %7.2f ms/frame (no AVX2)\n", shrinkPortable);
    std::printf("  libswscale lanczos:        %7.2f ms/frame (whole pixels only)\n", baseline);
    std::printf("  ratio swscale / ours:      %7.1f x\n", baseline / shrink);
    return 0;
}
