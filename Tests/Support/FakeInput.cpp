#include "Support/FakeInput.h"

#include <xcb/xtest.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace vi::test {

namespace {
constexpr std::chrono::milliseconds pressDuration{30};
}

FakeInput::FakeInput() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        throw std::runtime_error("no X server for fake input");
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

FakeInput::~FakeInput() { xcb_disconnect(connection_); }

void FakeInput::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void FakeInput::moveTo(int x, int y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    sync();
}

void FakeInput::click(std::uint8_t button) {
    xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
    // A window manager that grabs the pointer on a press must see the press before the release, or
    // it waits for a release that already happened and drags the window along.
    std::this_thread::sleep_for(pressDuration);
    xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void FakeInput::key(std::uint8_t keycode) {
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

void FakeInput::focus(xcb_window_t window) {
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    sync();
}

} // namespace vi::test
