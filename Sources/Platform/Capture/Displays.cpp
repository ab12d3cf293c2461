#include "Platform/Capture/Displays.h"

#include "Platform/Capture/XConnection.h"

#include <xcb/randr.h>

#include <algorithm>

namespace vi::capture {

namespace {

// Monitors (as opposed to CRTCs) arrived with RandR 1.5.
constexpr std::uint32_t randrMajor = 1;
constexpr std::uint32_t randrMinorWithMonitors = 5;

std::string atomName(XConnection& connection, xcb_atom_t atom) {
    auto cookie = xcb_get_atom_name(connection.get(), atom);
    XcbReply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection.get(), cookie, nullptr));
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

bool hasMonitors(XConnection& connection) {
    const auto* extension = xcb_get_extension_data(connection.get(), &xcb_randr_id);
    if (!extension || !extension->present) return false;
    auto cookie = xcb_randr_query_version(connection.get(), randrMajor, randrMinorWithMonitors);
    XcbReply<xcb_randr_query_version_reply_t> reply(
        xcb_randr_query_version_reply(connection.get(), cookie, nullptr));
    return reply && (reply->major_version > randrMajor ||
                     (reply->major_version == randrMajor && reply->minor_version >= randrMinorWithMonitors));
}

DisplayInfo wholeScreen(XConnection& connection) {
    const auto* screen = connection.screen();
    return {static_cast<std::uint32_t>(connection.root()), "screen",
            {0, 0, screen->width_in_pixels, screen->height_in_pixels}, true};
}

} // namespace

std::vector<DisplayInfo> listDisplays(XConnection& connection) {
    std::vector<DisplayInfo> displays;
    if (hasMonitors(connection)) {
        auto cookie = xcb_randr_get_monitors(connection.get(), connection.root(), 1);
        XcbReply<xcb_randr_get_monitors_reply_t> reply(
            xcb_randr_get_monitors_reply(connection.get(), cookie, nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
                 xcb_randr_monitor_info_next(&it)) {
                const auto* monitor = it.data;
                if (monitor->width == 0 || monitor->height == 0) continue;
                displays.push_back({monitor->name, atomName(connection, monitor->name),
                                    {monitor->x, monitor->y, monitor->width, monitor->height},
                                    monitor->primary != 0});
            }
        }
    }
    if (displays.empty()) return {wholeScreen(connection)};
    // Without a marked primary the first monitor counts as the main one.
    if (std::none_of(displays.begin(), displays.end(), [](const auto& d) { return d.primary; })) {
        displays.front().primary = true;
    }
    std::stable_partition(displays.begin(), displays.end(), [](const auto& d) { return d.primary; });
    return displays;
}

} // namespace vi::capture
