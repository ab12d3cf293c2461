#include "Platform/Capture/Displays.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"
#include "RecordCore/InputRecorder.h"
#include "Support/FakeInput.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace vi;
using namespace std::chrono_literals;
using capture::PixelRect;

TEST(InputRecorder, NormalisesToTheRegionWithTheOriginTopLeft) {
    struct Case {
        double x, y;
        PixelRect area;
        double nx, ny;
    };
    const Case cases[] = {
        {0, 0, {0, 0, 1440, 900}, 0, 0},
        {1440, 900, {0, 0, 1440, 900}, 1, 1},
        {720, 450, {0, 0, 1440, 900}, 0.5, 0.5},
        {500, 350, {100, 50, 800, 600}, 0.5, 0.5}, // a window's bounds
        {1920 + 10, 20, {1920, 0, 1280, 1024}, 10.0 / 1280, 20.0 / 1024}, // a second monitor
        {500, 350, {}, -1, -1},                     // bounds unknown: outside
    };
    for (const auto& c : cases) {
        const auto point = InputRecorder::normalized(c.x, c.y, c.area);
        EXPECT_DOUBLE_EQ(point.x, c.nx) << c.x << "," << c.y;
        EXPECT_DOUBLE_EQ(point.y, c.ny) << c.x << "," << c.y;
    }
}

TEST(InputRecorder, AWindowRegionFollowsTheWindowAndKeepsKeysOutsideIt) {
    vi::test::X11TestWindow window({{200, 100, 400, 300}, 0x224466, "Target", "Target", 7100, true});
    capture::XConnection x;
    InputRecorder recorder(InputRecorder::Region::window(window.id()));
    const double origin = capture::HostClock::now();
    recorder.start();
    vi::test::FakeInput input;
    input.moveTo(400, 250); // the window's centre
    std::this_thread::sleep_for(100ms);
    input.click(1);
    window.moveTo(800, 500);
    std::this_thread::sleep_for(200ms); // more than the bounds refresh
    input.moveTo(1000, 650);            // the centre again, after the move
    std::this_thread::sleep_for(100ms);
    input.click(3);
    input.moveTo(10, 10); // outside: clicks are not logged, keys are
    std::this_thread::sleep_for(50ms);
    input.click(1);
    input.key(vi::test::FakeInput::someKey);
    // Scrolls closer than a tenth of a second apart count once.
    input.moveTo(1000, 650);
    std::this_thread::sleep_for(50ms);
    for (int i = 0; i < 3; ++i) input.click(4);
    std::this_thread::sleep_for(150ms);
    const auto log = recorder.stop(origin);

    using Kind = InputLog::Event::Kind;
    ASSERT_EQ(log.events().size(), 4u);
    EXPECT_EQ(log.events()[0].kind, Kind::click);
    EXPECT_NEAR(*log.events()[0].x, 0.5, 0.01);
    EXPECT_NEAR(*log.events()[0].y, 0.5, 0.01);
    EXPECT_EQ(log.events()[1].kind, Kind::rightClick);
    EXPECT_NEAR(*log.events()[1].x, 0.5, 0.01);
    EXPECT_NEAR(*log.events()[1].y, 0.5, 0.01);
    EXPECT_EQ(log.events()[2].kind, Kind::key);
    EXPECT_FALSE(log.events()[2].x);
    EXPECT_EQ(log.events()[3].kind, Kind::scroll);
    ASSERT_FALSE(log.cursor().empty());
    EXPECT_NEAR(log.cursor().back().x, 0.5, 0.01);
    EXPECT_GE(log.cursor().front().t, 0.0);
}

TEST(InputRecorder, StopWithoutStartGivesAnEmptyLogAndDropsWhatCameBeforeTheOrigin) {
    capture::XConnection x;
    const auto display = capture::listDisplays(x).front();
    {
        InputRecorder recorder(InputRecorder::Region::display(display.id));
        const auto log = recorder.stop(0);
        EXPECT_TRUE(log.cursor().empty());
        EXPECT_TRUE(log.events().empty());
        EXPECT_EQ(log.cursorInVideo, std::optional<bool>(false));
        EXPECT_TRUE(log.keysTracked.has_value());
        EXPECT_FALSE(log.cameraOffset);
    }
    InputRecorder recorder(InputRecorder::Region::display(display.id));
    recorder.start();
    std::this_thread::sleep_for(200ms);
    const double origin = capture::HostClock::now();
    std::this_thread::sleep_for(200ms);
    const auto log = recorder.stop(origin);
    ASSERT_FALSE(log.cursor().empty());
    EXPECT_GE(log.cursor().front().t, 0.0);
    EXPECT_LT(log.cursor().front().t, 1.0 / 60 + 0.01);
    EXPECT_NEAR(static_cast<double>(log.cursor().size()), 12, 3);
}
