#include "Platform/Capture/WindowOwner.h"

#include "Platform/Capture/XConnection.h"

#include <algorithm>

namespace vi::capture {

namespace {
constexpr int maxDepth = 64; // window trees are shallow; this only guards against a lying server

bool owned(XConnection& connection, xcb_window_t window, const std::vector<std::uint32_t>& pids) {
    const auto pid = connection.cardinal(window, connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    return pid && std::find(pids.begin(), pids.end(), *pid) != pids.end();
}
} // namespace

bool windowBelongsTo(XConnection& connection, xcb_window_t window, const std::vector<std::uint32_t>& pids) {
    if (pids.empty() || window == XCB_WINDOW_NONE || window == connection.root()) return false;
    xcb_window_t current = window;
    for (int depth = 0; depth < maxDepth; ++depth) {
        if (owned(connection, current, pids)) return true;
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection.get(), xcb_query_tree(connection.get(), current), nullptr));
        if (!tree) return false;
        if (tree->parent == connection.root() || tree->parent == XCB_WINDOW_NONE) {
            // A top-level window: a frame says nothing itself, the client inside it does.
            const auto* children = xcb_query_tree_children(tree.get());
            const int count = xcb_query_tree_children_length(tree.get());
            for (int i = 0; i < count; ++i) {
                if (children[i] != window && owned(connection, children[i], pids)) return true;
            }
            return false;
        }
        current = tree->parent;
    }
    return false;
}

} // namespace vi::capture
