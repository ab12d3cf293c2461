#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/ScreenStream.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace vi::capture;
using namespace std::chrono_literals;
using vi::test::X11TestWindow;
using vi::test::waitUntil;

namespace {

constexpr int testFps = 30;
constexpr std::uint32_t red = 0xff0000, green = 0x00ff00, blue = 0x0000ff, yellow = 0xffff00, cyan = 0x00ffff,
                        magenta = 0xff00ff, grey = 0x808080;

// Keeps a copy of the latest frame and what the stream told.
class Collector {
public:
    ScreenStream::Delegate delegate() {
        return {[this](ScreenFramePtr frame) {
                    std::lock_guard lock(mutex_);
                    ++count_;
                    times_.push_back(frame->time);
                    stride_ = frame->stride;
                    last_.assign(frame->pixels, frame->pixels + static_cast<std::ptrdiff_t>(frame->stride) * frame->height);
                },
                [this](const std::string& reason) {
                    std::lock_guard lock(mutex_);
                    stopped_ = reason;
                }};
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    std::optional<std::string> stopped() {
        std::lock_guard lock(mutex_);
        return stopped_;
    }
    std::uint32_t pixel(int x, int y) {
        std::lock_guard lock(mutex_);
        return vi::test::pixelAt(last_.data(), stride_, x, y);
    }
    std::vector<double> times() {
        std::lock_guard lock(mutex_);
        return times_;
    }
    // Waits for a frame newer than the ones counted so far in which (x, y) has `colour`.
    bool waitForPixel(int x, int y, std::uint32_t colour) {
        return waitUntil([&] { return count() > 0 && pixel(x, y) == colour; }, 3s);
    }

private:
    std::mutex mutex_;
    int count_ = 0;
    int stride_ = 0;
    std::vector<std::uint8_t> last_;
    std::vector<double> times_;
    std::optional<std::string> stopped_;
};

PixelRect wholeScreen() {
    XConnection x;
    return {0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels};
}

PixelRect boundsOf(const X11TestWindow& window) {
    XConnection x;
    return windowBounds(x, window.id()).value();
}

} // namespace

TEST(ScreenStream, ADisplayDeliversAFrameOnlyWhenSomethingChanged) {
    X11TestWindow window({{100, 100, 320, 180}, red});
    const auto at = boundsOf(window);
    Collector frames;
    const double started = HostClock::now();
    ScreenStream stream(ScreenSource::display(wholeScreen()), testFps, frames.delegate());
    EXPECT_EQ(stream.width(), wholeScreen().width);
    stream.start();
    ASSERT_TRUE(frames.waitForPixel(at.x + 160, at.y + 90, red));

    // A still screen: the ticks go by without frames.
    const int before = frames.count();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(frames.count(), before);

    window.fill(blue);
    EXPECT_TRUE(frames.waitForPixel(at.x + 160, at.y + 90, blue));
    stream.stop();

    const auto times = frames.times();
    EXPECT_GE(times.front(), started);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_LE(times.back(), HostClock::now());
    EXPECT_GT(stream.statistics().idleTicks, testFps / 4);
    EXPECT_EQ(stream.statistics().frames, frames.count());
}

TEST(ScreenStream, AWindowIsRecordedWhileCoveredAndWhileItMoves) {
    X11TestWindow target({{400, 300, 321, 181}, green, "Target"});
    X11TestWindow cover({{450, 320, 200, 100}, magenta, "Cover"});
    cover.raise();
    Collector frames;
    ScreenStream stream(ScreenSource::ofWindow(target.id()), testFps, frames.delegate());
    EXPECT_EQ(stream.width(), 320) << "sizes are made even";
    EXPECT_EQ(stream.height(), 180);
    stream.start();
    ASSERT_TRUE(frames.waitForPixel(100, 50, green)) << "the covered part shows the window itself";

    target.fillRect({60, 30, 100, 60}, yellow); // entirely under the cover
    EXPECT_TRUE(frames.waitForPixel(100, 50, yellow));

    target.moveTo(700, 500);
    target.fill(cyan);
    EXPECT_TRUE(frames.waitForPixel(10, 10, cyan));
    EXPECT_FALSE(frames.stopped()) << "moving is not an end";
    stream.stop();
}

TEST(ScreenStream, AWindowThatGoesAwayOrChangesSizeEndsTheStream) {
    struct Case {
        const char* name;
        void (*act)(X11TestWindow&);
        const char* reason;
    };
    const Case cases[] = {
        {"closed", [](X11TestWindow& w) { w.destroy(); }, "the window was closed"},
        {"resized", [](X11TestWindow& w) { w.resize(200, 100); }, "the window was resized"},
    };
    for (const auto& c : cases) {
        X11TestWindow window({{200, 200, 240, 160}, grey});
        Collector frames;
        ScreenStream stream(ScreenSource::ofWindow(window.id()), testFps, frames.delegate());
        stream.start();
        ASSERT_TRUE(waitUntil([&] { return frames.count() > 0; }, 2s)) << c.name;
        c.act(window);
        ASSERT_TRUE(waitUntil([&] { return frames.stopped().has_value(); }, 2s)) << c.name;
        // A destroyed window may first be reported as hidden: both end the stream.
        EXPECT_TRUE(*frames.stopped() == c.reason || *frames.stopped() == "the window was hidden")
            << c.name << ": " << *frames.stopped();
        const int count = frames.count();
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(frames.count(), count) << c.name;
        stream.stop();
    }
}

TEST(ScreenStream, AWindowThatIsGoneCannotBeRecorded) {
    xcb_window_t gone = 0;
    {
        X11TestWindow window({{10, 10, 50, 50}, grey});
        gone = window.id();
    }
    EXPECT_THROW(ScreenStream(ScreenSource::ofWindow(gone), testFps, {}), CaptureError);
}

TEST(ScreenStream, ADisplayRecordingLeavesOurOwnWindowsOut) {
    const auto ownPid = static_cast<std::uint32_t>(getpid());
    X11TestWindow document({{50, 50, 700, 500}, cyan, "Document", "Doc", 1111});
    X11TestWindow panel({{200, 200, 240, 120}, red, "Recording", "Us", ownPid});
    X11TestWindow tooltip({{400, 250, 120, 120}, yellow, "Tip", "Other", 2222});
    panel.raise();
    tooltip.raise();
    const auto panelAt = boundsOf(panel);
    const auto tipAt = boundsOf(tooltip);

    Collector frames;
    ScreenStream stream(ScreenSource::display(wholeScreen(), {ownPid}), testFps, frames.delegate());
    stream.start();
    // Where our panel is, the document beneath shows; a window above the panel still shows.
    ASSERT_TRUE(frames.waitForPixel(panelAt.x + 20, panelAt.y + 20, cyan))
        << std::hex << frames.pixel(panelAt.x + 20, panelAt.y + 20);
    EXPECT_EQ(frames.pixel(tipAt.x + 10, tipAt.y + 10), yellow);
    EXPECT_EQ(frames.pixel(panelAt.x - 1, panelAt.y - 1), cyan) << "the panel's frame is left out too";

    // Our panel changing is not a change of the recording.
    std::this_thread::sleep_for(100ms);
    const int before = frames.count();
    panel.fill(green);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(frames.count(), before);

    // The document changing beneath the panel is.
    document.fill(blue);
    EXPECT_TRUE(frames.waitForPixel(panelAt.x + 20, panelAt.y + 20, blue));
    stream.stop();
}

TEST(ScreenStream, PostedWorkRunsOnTheCaptureThreadInOrderAndStopDrainsIt) {
    Collector frames;
    ScreenStream stream(ScreenSource::display({0, 0, 64, 64}), testFps, frames.delegate());
    stream.start();
    std::vector<int> order;
    std::thread::id worker;
    for (int i = 0; i < 100; ++i) {
        stream.post([&, i] {
            order.push_back(i);
            worker = std::this_thread::get_id();
        });
    }
    stream.stop();
    ASSERT_EQ(order.size(), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_NE(worker, std::this_thread::get_id());
    stream.post([&] { order.push_back(-1); });
    EXPECT_EQ(order.size(), 100u) << "nothing runs after stop";
}
