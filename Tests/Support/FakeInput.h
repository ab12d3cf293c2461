#pragma once

#include <xcb/xcb.h>

#include <cstdint>

namespace vi::test {

// Drives the test X server's pointer and keyboard through XTest, as a user would.
class FakeInput {
public:
    FakeInput();
    ~FakeInput();
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    void moveTo(int x, int y);
    // Press and release: 1 left, 3 right, 4/5 wheel up/down.
    void click(std::uint8_t button);
    void key(std::uint8_t keycode);
    void focus(xcb_window_t window);

    // A key code that exists on the server's keyboard ("a" on the usual layouts).
    static constexpr std::uint8_t someKey = 38;

private:
    void sync();
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

} // namespace vi::test
