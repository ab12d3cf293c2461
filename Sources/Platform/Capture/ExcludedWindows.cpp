#include "Platform/Capture/ExcludedWindows.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/ShmImage.h"
#include "Platform/Capture/XConnection.h"

#include <xcb/composite.h>

#include <algorithm>
#include <cstring>

namespace vi::capture {

namespace {

constexpr std::uint32_t compositeMajor = 0;
constexpr std::uint32_t compositeMinor = 4; // NameWindowPixmap arrived with 0.2; 0.4 is current
constexpr std::uint8_t sendEventBit = 0x80;
constexpr int bytesPerPixel = 4;
constexpr int depthWithAlpha = 32;

bool isStructureEvent(std::uint8_t type) {
    switch (type) {
    case XCB_CREATE_NOTIFY:
    case XCB_DESTROY_NOTIFY:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
    case XCB_CONFIGURE_NOTIFY:
    case XCB_REPARENT_NOTIFY:
    case XCB_CIRCULATE_NOTIFY:
    case XCB_GRAVITY_NOTIFY:
    case XCB_PROPERTY_NOTIFY:
        return true;
    default:
        return false;
    }
}

// Source-over of premultiplied pixels (the convention of 32-bit visuals) onto opaque ones.
void blendRow(std::uint8_t* destination, const std::uint8_t* source, int pixels) {
    for (int i = 0; i < pixels; ++i, destination += 4, source += 4) {
        const unsigned keep = 255u - source[3];
        for (int channel = 0; channel < 3; ++channel) {
            destination[channel] =
                static_cast<std::uint8_t>(source[channel] + (destination[channel] * keep + 127u) / 255u);
        }
    }
}

} // namespace

bool ExcludedWindows::available(XConnection& connection) {
    const auto* extension = xcb_get_extension_data(connection.get(), &xcb_composite_id);
    if (!extension || !extension->present) return false;
    auto cookie = xcb_composite_query_version(connection.get(), compositeMajor, compositeMinor);
    XcbReply<xcb_composite_query_version_reply_t> reply(
        xcb_composite_query_version_reply(connection.get(), cookie, nullptr));
    return reply && (reply->major_version > 0 || reply->minor_version >= 2);
}

ExcludedWindows::ExcludedWindows(std::shared_ptr<XConnection> connection, const PixelRect& capture,
                                 std::vector<std::uint32_t> pids, std::vector<std::uint32_t> windows)
    : connection_(std::move(connection)), capture_(capture), pids_(std::move(pids)), windows_(std::move(windows)) {
    if (!available(*connection_)) throw CaptureError("the X server has no Composite extension");
    auto* c = connection_->get();
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, connection_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_composite_redirect_subwindows(c, connection_->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_flush(c);
    scratch_ = std::make_unique<ShmImage>(connection_, capture.width, capture.height);
}

ExcludedWindows::~ExcludedWindows() {
    releasePixmaps();
    xcb_composite_unredirect_subwindows(connection_->get(), connection_->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    xcb_flush(connection_->get());
}

bool ExcludedWindows::watch(const xcb_generic_event_t* event) {
    if (!isStructureEvent(event->response_type & ~sendEventBit)) return false;
    stale_ = true;
    return true;
}

bool ExcludedWindows::isExcluded(xcb_window_t window, std::uint32_t pid) const {
    return (pid != 0 && std::find(pids_.begin(), pids_.end(), pid) != pids_.end()) ||
           std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

void ExcludedWindows::refresh() {
    releasePixmaps();
    stacking_.clear();
    covered_.clear();
    stale_ = false;
    auto* c = connection_->get();
    const xcb_atom_t pidAtom = connection_->atom("_NET_WM_PID");

    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, connection_->root()), nullptr));
    if (!tree) return;
    const auto* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // All questions first, then all answers: one round trip for the whole stack.
    struct Asked {
        xcb_window_t window;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_get_property_cookie_t pid;
        xcb_query_tree_cookie_t inner;
    };
    std::vector<Asked> asked;
    asked.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        asked.push_back({children[i], xcb_get_window_attributes(c, children[i]), xcb_get_geometry(c, children[i]),
                         xcb_get_property(c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                         xcb_query_tree(c, children[i])});
    }
    struct Candidate {
        TopLevel top;
        std::vector<xcb_window_t> clients; // a frame's children, whose pid decides
    };
    std::vector<Candidate> candidates;
    for (const auto& a : asked) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, a.attributes, nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, a.geometry, nullptr));
        XcbReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, a.pid, nullptr));
        XcbReply<xcb_query_tree_reply_t> inner(xcb_query_tree_reply(c, a.inner, nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            continue;
        }
        const int border = geometry->border_width;
        Candidate candidate;
        candidate.top.window = a.window;
        candidate.top.rect = {geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border};
        std::uint32_t ownPid = 0;
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4) {
            ownPid = *static_cast<const std::uint32_t*>(xcb_get_property_value(pid.get()));
        }
        candidate.top.excluded = isExcluded(a.window, ownPid);
        if (inner && !candidate.top.excluded) {
            const auto* innerChildren = xcb_query_tree_children(inner.get());
            candidate.clients.assign(innerChildren, innerChildren + xcb_query_tree_children_length(inner.get()));
        }
        candidates.push_back(std::move(candidate));
    }
    // A window manager's frame is excluded when the client inside it is.
    std::vector<std::pair<std::size_t, std::pair<xcb_window_t, xcb_get_property_cookie_t>>> clientPids;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        for (auto client : candidates[i].clients) {
            clientPids.push_back({i, {client, xcb_get_property(c, 0, client, pidAtom, XCB_ATOM_CARDINAL, 0, 1)}});
        }
    }
    for (auto& [index, query] : clientPids) {
        XcbReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(c, query.second, nullptr));
        std::uint32_t clientPid = 0;
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4) {
            clientPid = *static_cast<const std::uint32_t*>(xcb_get_property_value(pid.get()));
        }
        if (isExcluded(query.first, clientPid)) candidates[index].top.excluded = true;
    }
    for (auto& candidate : candidates) {
        stacking_.push_back(candidate.top);
        if (candidate.top.excluded && candidate.top.rect.intersects(capture_)) {
            covered_.push_back(candidate.top.rect.intersected(capture_));
        }
    }
}

const std::vector<PixelRect>& ExcludedWindows::coveredAreas() {
    if (stale_) refresh();
    return covered_;
}

xcb_pixmap_t ExcludedWindows::pixmapOf(xcb_window_t window) {
    if (auto found = pixmaps_.find(window); found != pixmaps_.end()) return found->second;
    auto* c = connection_->get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    auto cookie = xcb_composite_name_window_pixmap_checked(c, window, pixmap);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    const xcb_pixmap_t named = error ? xcb_pixmap_t{XCB_PIXMAP_NONE} : pixmap;
    pixmaps_.emplace(window, named);
    return named;
}

void ExcludedWindows::releasePixmaps() {
    for (auto& [window, pixmap] : pixmaps_) {
        if (pixmap != XCB_PIXMAP_NONE) xcb_free_pixmap(connection_->get(), pixmap);
    }
    pixmaps_.clear();
}

void ExcludedWindows::paint(ShmImage& frame) {
    for (const auto& area : coveredAreas()) compose(frame, area);
}

void ExcludedWindows::compose(ShmImage& frame, const PixelRect& area) {
    const int frameStride = capture_.width * bytesPerPixel;
    auto rowOf = [&](int rootX, int rootY) {
        return frame.data() + static_cast<std::ptrdiff_t>(rootY - capture_.y) * frameStride +
               static_cast<std::ptrdiff_t>(rootX - capture_.x) * bytesPerPixel;
    };
    // Nothing lies beneath the bottom window but the bare root: black.
    for (int y = area.y; y < area.bottom(); ++y) {
        std::memset(rowOf(area.x, y), 0, static_cast<std::size_t>(area.width) * bytesPerPixel);
    }
    for (const auto& top : stacking_) {
        if (top.excluded || !top.rect.intersects(area)) continue;
        const PixelRect part = top.rect.intersected(area);
        const xcb_pixmap_t pixmap = pixmapOf(top.window);
        if (pixmap == XCB_PIXMAP_NONE) continue;
        const PixelRect local{part.x - top.rect.x, part.y - top.rect.y, part.width, part.height};
        if (!scratch_->grab(pixmap, local)) continue;
        const bool blend = scratch_->lastDepth() == depthWithAlpha;
        const int sourceStride = part.width * bytesPerPixel;
        for (int row = 0; row < part.height; ++row) {
            std::uint8_t* destination = rowOf(part.x, part.y + row);
            const std::uint8_t* source = scratch_->data() + static_cast<std::ptrdiff_t>(row) * sourceStride;
            if (blend) {
                blendRow(destination, source, part.width);
            } else {
                std::memcpy(destination, source, static_cast<std::size_t>(sourceStride));
            }
        }
    }
}

} // namespace vi::capture
