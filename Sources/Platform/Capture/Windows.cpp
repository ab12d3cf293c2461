#include "Platform/Capture/Windows.h"

#include "Platform/Capture/XConnection.h"

namespace vi::capture {

namespace {

std::vector<xcb_window_t> clientList(XConnection& connection) {
    for (const char* name : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
        auto ids = connection.cardinals(connection.root(), connection.atom(name), XCB_ATOM_WINDOW);
        if (!ids.empty()) return {ids.begin(), ids.end()};
    }
    return {};
}

// Without a window manager, every mapped, managed-looking child of the root is a window.
std::vector<xcb_window_t> mappedRootChildren(XConnection& connection) {
    auto cookie = xcb_query_tree(connection.get(), connection.root());
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection.get(), cookie, nullptr));
    if (!tree) return {};
    const auto* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_window_t> windows;
    for (int i = 0; i < count; ++i) {
        auto attrCookie = xcb_get_window_attributes(connection.get(), children[i]);
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection.get(), attrCookie, nullptr));
        if (!attributes || attributes->override_redirect ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT ||
            attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue;
        }
        windows.push_back(children[i]);
    }
    return windows;
}

} // namespace

std::optional<PixelRect> windowBounds(XConnection& connection, xcb_window_t window) {
    auto geometryCookie = xcb_get_geometry(connection.get(), window);
    auto translateCookie = xcb_translate_coordinates(connection.get(), window, connection.root(), 0, 0);
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(connection.get(), geometryCookie, nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(connection.get(), translateCookie, nullptr));
    if (!geometry || !origin) return std::nullopt;
    return PixelRect{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

std::optional<WindowInfo> describeWindow(XConnection& connection, xcb_window_t window) {
    auto attrCookie = xcb_get_window_attributes(connection.get(), window);
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection.get(), attrCookie, nullptr));
    auto bounds = windowBounds(connection, window);
    if (!attributes || !bounds) return std::nullopt;

    WindowInfo info;
    info.id = window;
    info.bounds = *bounds;
    info.onScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    info.title = connection.text(window, connection.atom("_NET_WM_NAME"), connection.atom("UTF8_STRING"));
    if (info.title.empty()) info.title = connection.text(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
    const auto classNames = connection.texts(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    if (classNames.size() >= 2) {
        info.appName = classNames[1];
    } else if (!classNames.empty()) {
        info.appName = classNames[0];
    }
    info.pid = connection.cardinal(window, connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL).value_or(0);
    return info;
}

std::vector<WindowInfo> listWindows(XConnection& connection) {
    auto ids = clientList(connection);
    if (ids.empty()) ids = mappedRootChildren(connection);
    std::vector<WindowInfo> windows;
    windows.reserve(ids.size());
    for (auto id : ids) {
        if (auto info = describeWindow(connection, id)) windows.push_back(std::move(*info));
    }
    return windows;
}

xcb_window_t topLevelOf(XConnection& connection, xcb_window_t window) {
    xcb_window_t current = window;
    // Window trees are shallow; the bound only guards against a server that lies.
    constexpr int maxDepth = 64;
    for (int depth = 0; depth < maxDepth; ++depth) {
        auto cookie = xcb_query_tree(connection.get(), current);
        XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(connection.get(), cookie, nullptr));
        if (!tree) return XCB_WINDOW_NONE;
        if (tree->parent == connection.root() || tree->parent == XCB_WINDOW_NONE) return current;
        current = tree->parent;
    }
    return XCB_WINDOW_NONE;
}

} // namespace vi::capture
