#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vi::capture {

// Frees what xcb hands out with malloc (replies, event structs).
struct XcbFree {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

// One connection to the X server and the first screen's root window. Each thread that waits on
// X events owns its own connection; a connection is otherwise used from one thread at a time.
class XConnection {
public:
    // Connects to `display` (nullptr: $DISPLAY). Throws CaptureError when no server answers.
    explicit XConnection(const char* display = nullptr);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    bool hasError() const { return xcb_connection_has_error(connection_) != 0; }

    // Interned atom, cached; XCB_ATOM_NONE when the server refuses.
    xcb_atom_t atom(std::string_view name);

    // Window properties; empty / nullopt when absent or of another type.
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    std::optional<std::uint32_t> cardinal(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    std::string text(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    std::vector<std::string> texts(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);

private:
    XcbReply<xcb_get_property_reply_t> property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    std::mutex atomsMutex_;
    std::unordered_map<std::string, xcb_atom_t> atoms_;
};

} // namespace vi::capture
