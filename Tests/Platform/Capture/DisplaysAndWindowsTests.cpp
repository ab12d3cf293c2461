#include "Platform/Capture/Displays.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace vi::capture;
using namespace std::chrono_literals;
using vi::test::X11TestWindow;

namespace {

const WindowInfo* find(const std::vector<WindowInfo>& windows, std::uint32_t id) {
    auto it = std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w.id == id; });
    return it == windows.end() ? nullptr : &*it;
}

} // namespace

TEST(Displays, TheTestScreenIsOnePrimaryMonitorCoveringTheRoot) {
    XConnection x;
    const auto displays = listDisplays(x);
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_TRUE(displays[0].primary);
    EXPECT_FALSE(displays[0].name.empty());
    EXPECT_EQ(displays[0].frame, (PixelRect{0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels}));
}

TEST(Windows, ListsClientWindowsWithTitleClassPidAndBoundsBottomToTop) {
    XConnection x;
    X11TestWindow editor({{200, 150, 400, 300}, 0x00ff00, "main.cpp — Editor", "CodeEditor", 4242});
    X11TestWindow terminal({{300, 250, 200, 100}, 0x0000ff, "Terminal", "Term", 0});
    terminal.raise();

    std::vector<WindowInfo> windows;
    ASSERT_TRUE(vi::test::waitUntil(
        [&] {
            windows = listWindows(x);
            return find(windows, editor.id()) && find(windows, terminal.id());
        },
        2s));
    const auto* e = find(windows, editor.id());
    EXPECT_EQ(e->title, "main.cpp — Editor");
    EXPECT_EQ(e->appName, "CodeEditor");
    EXPECT_EQ(e->pid, 4242u);
    EXPECT_TRUE(e->onScreen);
    EXPECT_EQ(e->bounds.width, 400);
    EXPECT_EQ(e->bounds.height, 300);
    const auto* t = find(windows, terminal.id());
    EXPECT_EQ(t->pid, 0u);
    EXPECT_LT(e - windows.data(), t - windows.data()) << "the raised window comes later";

    // Bounds are where the client area really is on the screen, frame or no frame.
    const auto top = topLevelOf(x, editor.id());
    ASSERT_NE(top, XCB_WINDOW_NONE);
    const auto frame = windowBounds(x, top);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->contains(e->bounds));

    editor.moveTo(500, 400);
    ASSERT_TRUE(vi::test::waitUntil([&] { return windowBounds(x, editor.id())->x != e->bounds.x; }, 2s));

    const auto gone = editor.id();
    editor.destroy();
    EXPECT_FALSE(describeWindow(x, gone));
    EXPECT_FALSE(windowBounds(x, gone));
    EXPECT_EQ(topLevelOf(x, gone), XCB_WINDOW_NONE);
    EXPECT_FALSE(find(listWindows(x), gone));
}
