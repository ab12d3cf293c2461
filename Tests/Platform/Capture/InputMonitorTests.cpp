#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/InputMonitor.h"
#include "Platform/Capture/PointerTracker.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"
#include "Support/FakeInput.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace vi::capture;
using namespace std::chrono_literals;
using Kind = InputEvent::Kind;
using vi::test::FakeInput;
using vi::test::X11TestWindow;

namespace {

class Events {
public:
    InputMonitor::Handler handler() {
        return [this](const InputEvent& event) {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        };
    }
    std::vector<InputEvent> all() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool waitFor(std::size_t count) {
        return vi::test::waitUntil([&] { return all().size() >= count; }, 2s);
    }

private:
    std::mutex mutex_;
    std::vector<InputEvent> events_;
};

std::uint32_t ownPid() { return static_cast<std::uint32_t>(getpid()); }

} // namespace

TEST(InputMonitor, ReportsClicksRightClicksKeysAndScrollsInOrderOnTheHostClock) {
    X11TestWindow other({{100, 100, 400, 300}, 0x336699, "Editor", "Editor", 5151, true});
    Events events;
    InputMonitor monitor(events.handler(), {ownPid()});
    ASSERT_TRUE(monitor.watching());
    EXPECT_TRUE(monitor.seesKeys());
    monitor.start();

    FakeInput input;
    input.moveTo(200, 200);
    input.focus(other.id());
    const double before = HostClock::now();
    input.click(1);
    input.click(3);
    input.key(FakeInput::someKey);
    input.click(4);
    input.click(5);
    input.click(2); // the middle button is not logged
    ASSERT_TRUE(events.waitFor(5));
    std::this_thread::sleep_for(100ms);
    monitor.stop();

    const auto got = events.all();
    ASSERT_EQ(got.size(), 5u);
    const Kind expected[] = {Kind::leftDown, Kind::rightDown, Kind::keyDown, Kind::scroll, Kind::scroll};
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, expected[i]) << i;
        EXPECT_GE(got[i].time, before);
        if (i > 0) {
            EXPECT_GE(got[i].time, got[i - 1].time);
        }
    }
    EXPECT_LT(got.back().time - before, 1.0);

    input.click(1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(events.all().size(), 5u) << "nothing arrives after stop";
}

TEST(InputMonitor, LeavesOutEventsAimedAtOurOwnWindows) {
    X11TestWindow panel({{600, 100, 200, 100}, 0xaa0000, "Recording", "Us", ownPid(), true});
    X11TestWindow other({{600, 400, 200, 100}, 0x00aa00, "Other", "Other", 5152, true});
    XConnection x;
    const auto panelAt = windowBounds(x, panel.id()).value();
    const auto otherAt = windowBounds(x, other.id()).value();
    Events events;
    InputMonitor monitor(events.handler(), {ownPid()});
    monitor.start();

    // Whose window an event was aimed at is read when the event arrives, a moment after the press;
    // a person's next move comes far later than that, and so do these. (The windows are unmanaged so
    // that the window manager's own click handling stays out of the way.)
    FakeInput input;
    input.moveTo(panelAt.x + 50, panelAt.y + 50);
    input.focus(panel.id());
    input.click(1);
    input.key(FakeInput::someKey);
    std::this_thread::sleep_for(50ms);
    input.moveTo(otherAt.x + 50, otherAt.y + 50);
    input.focus(other.id());
    input.click(3);
    input.key(FakeInput::someKey);
    ASSERT_TRUE(events.waitFor(2));
    std::this_thread::sleep_for(100ms);
    monitor.stop();

    const auto got = events.all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, Kind::rightDown);
    EXPECT_EQ(got[1].kind, Kind::keyDown);
}

TEST(PointerTracker, ReadsWhereThePointerIs) {
    PointerTracker pointer;
    FakeInput input;
    for (auto [x, y] : {std::pair{0, 0}, {1919, 1079}, {960, 540}}) {
        input.moveTo(x, y);
        const auto position = pointer.position();
        ASSERT_TRUE(position);
        EXPECT_EQ(position->x, x);
        EXPECT_EQ(position->y, y);
    }
}
