#include "Support/X11TestWindow.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace vi::test {

namespace {
xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                                        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}
} // namespace

X11TestWindow::X11TestWindow(const Options& options) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        throw std::runtime_error("no X server for the test window");
    }
    auto* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {options.colour, options.overrideRedirect ? 1u : 0u, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root,
                      static_cast<std::int16_t>(options.rect.x), static_cast<std::int16_t>(options.rect.y),
                      static_cast<std::uint16_t>(options.rect.width), static_cast<std::uint16_t>(options.rect.height),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
                      values);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, intern(connection_, "_NET_WM_NAME"),
                        intern(connection_, "UTF8_STRING"), 8, static_cast<std::uint32_t>(options.title.size()),
                        options.title.data());
    const std::string wmClass = options.appClass + '\0' + options.appClass + '\0';
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
    if (options.pid != 0) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, intern(connection_, "_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &options.pid);
    }
    // The requested place is the user's choice, so the window manager keeps it.
    std::uint32_t hints[18] = {};
    constexpr std::uint32_t userPosition = 1, userSize = 2;
    hints[0] = userPosition | userSize;
    hints[1] = static_cast<std::uint32_t>(options.rect.x);
    hints[2] = static_cast<std::uint32_t>(options.rect.y);
    hints[3] = static_cast<std::uint32_t>(options.rect.width);
    hints[4] = static_cast<std::uint32_t>(options.rect.height);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    gc_ = xcb_generate_id(connection_);
    xcb_create_gc(connection_, gc_, window_, 0, nullptr);
    xcb_map_window(connection_, window_);
    sync();
    // A window manager maps the window in its own time (after framing it).
    waitUntil(
        [&] {
            auto* attributes = xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window_), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
            return viewable;
        },
        std::chrono::seconds(2));
}

X11TestWindow::~X11TestWindow() {
    destroy();
    xcb_disconnect(connection_);
}

void X11TestWindow::fill(std::uint32_t colour) {
    xcb_change_window_attributes(connection_, window_, XCB_CW_BACK_PIXEL, &colour);
    xcb_clear_area(connection_, 0, window_, 0, 0, 0, 0);
    sync();
}

void X11TestWindow::fillRect(const capture::PixelRect& rect, std::uint32_t colour) {
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t r{static_cast<std::int16_t>(rect.x), static_cast<std::int16_t>(rect.y),
                            static_cast<std::uint16_t>(rect.width), static_cast<std::uint16_t>(rect.height)};
    xcb_poly_fill_rectangle(connection_, window_, gc_, 1, &r);
    sync();
}

void X11TestWindow::moveTo(int x, int y) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    sync();
}

void X11TestWindow::resize(int width, int height) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    sync();
}

void X11TestWindow::raise() {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    sync();
}

void X11TestWindow::destroy() {
    if (window_ == XCB_WINDOW_NONE) return;
    xcb_free_gc(connection_, gc_);
    xcb_destroy_window(connection_, window_);
    window_ = XCB_WINDOW_NONE;
    sync();
}

void X11TestWindow::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    // Expose events are not needed: the background fill does the painting.
    while (auto* event = xcb_poll_for_event(connection_)) std::free(event);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::uint32_t pixelAt(const std::uint8_t* pixels, int stride, int x, int y) {
    const std::uint8_t* p = pixels + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * 4;
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

} // namespace vi::test
