#include "Platform/Capture/PointerTracker.h"

#include "Platform/Capture/XConnection.h"

namespace vi::capture {

PointerTracker::PointerTracker(const char* display) : connection_(std::make_unique<XConnection>(display)) {}

PointerTracker::~PointerTracker() = default;

std::optional<PointerTracker::Position> PointerTracker::position() const {
    auto* c = connection_->get();
    XcbReply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_->root()), nullptr));
    if (!reply || !reply->same_screen) return std::nullopt;
    return Position{reply->root_x, reply->root_y};
}

} // namespace vi::capture
