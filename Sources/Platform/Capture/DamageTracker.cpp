#include "Platform/Capture/DamageTracker.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/XConnection.h"

#include <algorithm>

namespace vi::capture {

namespace {
constexpr std::uint32_t damageMajor = 1;
constexpr std::uint32_t damageMinor = 1;
constexpr std::uint8_t sendEventBit = 0x80;
} // namespace

bool DamageTracker::available(XConnection& connection) {
    const auto* extension = xcb_get_extension_data(connection.get(), &xcb_damage_id);
    if (!extension || !extension->present) return false;
    // The server refuses damage requests until the client has announced its version.
    auto cookie = xcb_damage_query_version(connection.get(), damageMajor, damageMinor);
    XcbReply<xcb_damage_query_version_reply_t> reply(
        xcb_damage_query_version_reply(connection.get(), cookie, nullptr));
    return reply != nullptr;
}

DamageTracker::DamageTracker(XConnection& connection, xcb_drawable_t drawable, const PixelRect& interest)
    : connection_(connection), interest_(interest) {
    if (!available(connection)) throw CaptureError("the X server has no DAMAGE extension");
    notifyEvent_ = static_cast<std::uint8_t>(xcb_get_extension_data(connection.get(), &xcb_damage_id)->first_event +
                                             XCB_DAMAGE_NOTIFY);
    damage_ = xcb_generate_id(connection.get());
    // Bounding-box reports: one event whenever the damaged area grows, so a busy screen does not
    // flood the connection between two frames.
    auto cookie = xcb_damage_create_checked(connection.get(), damage_, drawable,
                                            XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection.get(), cookie));
    if (error) throw CaptureError("cannot watch the screen for changes");
}

DamageTracker::~DamageTracker() {
    xcb_damage_destroy(connection_.get(), damage_);
    xcb_flush(connection_.get());
}

bool DamageTracker::handle(const xcb_generic_event_t* event) {
    if ((event->response_type & ~sendEventBit) != notifyEvent_) return false;
    const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
    if (notify->damage != damage_) return false;
    notified_ = true;
    if (counts({notify->area.x, notify->area.y, notify->area.width, notify->area.height})) changed_ = true;
    return true;
}

bool DamageTracker::counts(const PixelRect& area) const {
    if (!area.intersects(interest_)) return false;
    const PixelRect relevant = area.intersected(interest_);
    return std::none_of(ignored_.begin(), ignored_.end(),
                        [&](const PixelRect& ignored) { return ignored.contains(relevant); });
}

bool DamageTracker::takeChange() {
    const bool changed = changed_;
    if (notified_) {
        xcb_damage_subtract(connection_.get(), damage_, XCB_NONE, XCB_NONE);
        xcb_flush(connection_.get());
    }
    notified_ = false;
    changed_ = false;
    return changed;
}

} // namespace vi::capture
