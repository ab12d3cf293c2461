#include "Platform/Capture/XConnection.h"

#include "Platform/Capture/CaptureError.h"

#include <cstring>

namespace vi::capture {

namespace {
// Titles and class names are short; a long property is read in one request up to this size.
constexpr std::uint32_t maxPropertyWords = 1 << 16;
}

XConnection::XConnection(const char* display) {
    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        throw CaptureError("cannot connect to the X server" +
                           std::string(display ? std::string(" ") + display : std::string()));
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i) xcb_screen_next(&it);
    if (it.rem <= 0) {
        xcb_disconnect(connection_);
        throw CaptureError("the X server has no screen");
    }
    screen_ = it.data;
}

XConnection::~XConnection() {
    if (connection_) xcb_disconnect(connection_);
}

xcb_atom_t XConnection::atom(std::string_view name) {
    std::lock_guard lock(atomsMutex_);
    const std::string key(name);
    if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
    auto cookie = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(key.size()), key.data());
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    atoms_.emplace(key, value);
    return value;
}

XcbReply<xcb_get_property_reply_t> XConnection::property(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type) {
    if (property == XCB_ATOM_NONE) return nullptr;
    auto cookie = xcb_get_property(connection_, 0, window, property, type, 0, maxPropertyWords);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return nullptr;
    if (type != XCB_ATOM_ANY && reply->type != type) return nullptr;
    return reply;
}

std::vector<std::uint32_t> XConnection::cardinals(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    auto reply = property(window, name, type);
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(values, values + count);
}

std::optional<std::uint32_t> XConnection::cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    auto values = cardinals(window, name, type);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::string XConnection::text(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    auto reply = property(window, name, type);
    if (!reply || reply->format != 8) return {};
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    std::string value(bytes, static_cast<std::size_t>(length));
    // Some clients include the terminating zero.
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

std::vector<std::string> XConnection::texts(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    auto reply = property(window, name, type);
    if (!reply || reply->format != 8) return {};
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    std::vector<std::string> values;
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i == length || bytes[i] == '\0') {
            if (i > start) values.emplace_back(bytes + start, static_cast<std::size_t>(i - start));
            start = i + 1;
        }
    }
    return values;
}

} // namespace vi::capture
