#include "Platform/Capture/ScreenGrabber.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/DamageTracker.h"
#include "Platform/Capture/ExcludedWindows.h"
#include "Platform/Capture/ShmImage.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"

#include <xcb/composite.h>

namespace vi::capture {

namespace {
constexpr std::uint8_t sendEventBit = 0x80;
// The grab reads 32-bit words; other pixel layouts (16-bit displays) are not supported.
constexpr int supportedBitsPerPixel = 32;

bool hasThirtyTwoBitPixels(XConnection& connection, int depth) {
    const auto* setup = xcb_get_setup(connection.get());
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) return it.data->bits_per_pixel == supportedBitsPerPixel;
    }
    return false;
}
} // namespace

ScreenGrabber::ScreenGrabber(std::shared_ptr<XConnection> connection, const ScreenSource& source)
    : connection_(std::move(connection)), source_(source) {
    auto& x = *connection_;
    if (!ShmImage::available(x)) throw CaptureError("the X server has no MIT-SHM extension");
    if (!hasThirtyTwoBitPixels(x, x.screen()->root_depth)) {
        throw CaptureError("the display's pixel format is not 32 bits per pixel");
    }
    if (source.kind == ScreenSource::Kind::window) {
        const auto bounds = windowBounds(x, source.window);
        if (!bounds) throw CaptureError("the window no longer exists");
        size_ = {0, 0, evenDown(bounds->width), evenDown(bounds->height)};
        if (size_.empty()) throw CaptureError("the window is too small to record");
        if (!ExcludedWindows::available(x)) throw CaptureError("the X server has no Composite extension");
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(x.get(), source.window, XCB_CW_EVENT_MASK, &mask);
        // Automatic redirection keeps the window's own picture in a pixmap even where it is covered;
        // the server goes on drawing the screen as before.
        xcb_composite_redirect_window(x.get(), source.window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        nameWindowPixmap();
        if (pixmap_ == 0) throw CaptureError("the window is not shown on screen");
        damage_ = std::make_unique<DamageTracker>(x, source.window, size_);
    } else {
        const PixelRect screen{0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels};
        const PixelRect frame = source.displayFrame.intersected(screen);
        size_ = {frame.x, frame.y, evenDown(frame.width), evenDown(frame.height)};
        if (size_.empty()) throw CaptureError("the display lies outside the screen");
        damage_ = std::make_unique<DamageTracker>(x, x.root(), size_);
        if ((!source.excludedPids.empty() || !source.excludedWindows.empty()) && ExcludedWindows::available(x)) {
            excluded_ = std::make_unique<ExcludedWindows>(connection_, size_, source.excludedPids,
                                                          source.excludedWindows);
        }
    }
    xcb_flush(x.get());
}

ScreenGrabber::~ScreenGrabber() {
    auto* c = connection_->get();
    if (pixmap_ != 0) xcb_free_pixmap(c, pixmap_);
    if (source_.kind == ScreenSource::Kind::window && !ended_) {
        xcb_composite_unredirect_window(c, source_.window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    }
    xcb_flush(c);
}

void ScreenGrabber::nameWindowPixmap() {
    auto* c = connection_->get();
    if (pixmap_ != 0) xcb_free_pixmap(c, pixmap_);
    pixmap_ = xcb_generate_id(c);
    auto cookie = xcb_composite_name_window_pixmap_checked(c, source_.window, pixmap_);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    if (error) pixmap_ = 0;
}

void ScreenGrabber::handle(const xcb_generic_event_t* event) {
    if (damage_->handle(event)) return;
    if (excluded_ && excluded_->watch(event)) return;
    if (source_.kind != ScreenSource::Kind::window || ended_) return;
    switch (event->response_type & ~sendEventBit) {
    case XCB_CONFIGURE_NOTIFY: {
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configure->window == source_.window &&
            (evenDown(configure->width) != size_.width || evenDown(configure->height) != size_.height)) {
            ended_ = "the window was resized";
        }
        break;
    }
    case XCB_UNMAP_NOTIFY:
        if (reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window == source_.window) {
            ended_ = "the window was hidden";
        }
        break;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == source_.window) {
            ended_ = "the window was closed";
        }
        break;
    default:
        break;
    }
}

bool ScreenGrabber::takeChange() {
    if (excluded_) damage_->setIgnored(excluded_->coveredAreas());
    return damage_->takeChange();
}

bool ScreenGrabber::grab(ShmImage& image) {
    if (ended_) return false;
    if (source_.kind == ScreenSource::Kind::window) return pixmap_ != 0 && image.grab(pixmap_, size_);
    if (!image.grab(connection_->root(), size_)) return false;
    if (excluded_) excluded_->paint(image);
    return true;
}

} // namespace vi::capture
