#include "Platform/Capture/InputMonitor.h"

#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/WindowOwner.h"
#include "Platform/Capture/XConnection.h"

#include <xcb/xinput.h>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vi::capture {

namespace {
// Raw events exist since XInput 2.0; 2.2 delivers them to every client that asks, not only the one
// holding a grab, which is what seeing other applications' keys needs.
constexpr std::uint32_t xiMajor = 2;
constexpr std::uint32_t xiMinorForRawEverywhere = 2;

constexpr std::uint32_t buttonLeft = 1;
constexpr std::uint32_t buttonRight = 3;
// Wheel steps arrive as buttons 4 to 7 (up, down, left, right).
constexpr std::uint32_t firstWheelButton = 4;
constexpr std::uint32_t lastWheelButton = 7;

// The top-level window under the pointer by geometry. (The pointer query's own "child" follows the
// server's idea of the pointer window, which a window manager's grab can hold on an old window.)
xcb_window_t topLevelUnderPointer(XConnection& x) {
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(x.get(), xcb_query_pointer(x.get(), x.root()), nullptr));
    if (!pointer) return XCB_WINDOW_NONE;
    XcbReply<xcb_translate_coordinates_reply_t> under(xcb_translate_coordinates_reply(
        x.get(), xcb_translate_coordinates(x.get(), x.root(), x.root(), pointer->root_x, pointer->root_y), nullptr));
    return under ? under->child : xcb_window_t{XCB_WINDOW_NONE};
}

struct RawMask {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
};
} // namespace

InputMonitor::InputMonitor(Handler onEvent, std::vector<std::uint32_t> ownPids, const char* display)
    : connection_(std::make_shared<XConnection>(display)), onEvent_(std::move(onEvent)), ownPids_(std::move(ownPids)) {
    auto* c = connection_->get();
    const auto* extension = xcb_get_extension_data(c, &xcb_input_id);
    if (!extension || !extension->present) return;
    opcode_ = extension->major_opcode;
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, xiMajor, xiMinorForRawEverywhere), nullptr));
    if (!version || version->major_version < xiMajor) return;
    const bool rawEverywhere = version->major_version > xiMajor || version->minor_version >= xiMinorForRawEverywhere;

    RawMask mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                 XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    auto cookie = xcb_input_xi_select_events_checked(c, connection_->root(), 1, &mask.head);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    watching_ = !error;
    seesKeys_ = watching_ && rawEverywhere;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

InputMonitor::~InputMonitor() {
    stop();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void InputMonitor::start() {
    if (!watching_ || thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void InputMonitor::stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
    thread_.join();
}

void InputMonitor::run() {
    pthread_setname_np(pthread_self(), "vi.input");
    auto* c = connection_->get();
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stopping_ && !connection_->hasError()) {
        while (auto* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
                const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
                if (generic->extension == opcode_) {
                    // Raw key and button events share one layout up to the fields read here.
                    const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
                    handle(generic->event_type, raw->detail, raw->flags);
                }
            }
            std::free(event);
        }
        if (stopping_) break;
        poll(fds, 2, -1);
    }
}

void InputMonitor::handle(int type, std::uint32_t detail, std::uint32_t flags) {
    const double time = HostClock::now();
    InputEvent event{InputEvent::Kind::leftDown, time};
    auto& x = *connection_;
    if (type == XCB_INPUT_RAW_KEY_PRESS) {
        // Auto-repeat is a held key, not new presses.
        if (flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) return;
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
        if (focus && windowBelongsTo(x, focus->focus, ownPids_)) return;
        event.kind = InputEvent::Kind::keyDown;
    } else if (type == XCB_INPUT_RAW_BUTTON_PRESS) {
        if (detail == buttonLeft) {
            event.kind = InputEvent::Kind::leftDown;
        } else if (detail == buttonRight) {
            event.kind = InputEvent::Kind::rightDown;
        } else if (detail >= firstWheelButton && detail <= lastWheelButton) {
            event.kind = InputEvent::Kind::scroll;
        } else {
            return;
        }
        if (windowBelongsTo(x, topLevelUnderPointer(x), ownPids_)) return;
    } else {
        return;
    }
    if (onEvent_) onEvent_(event);
}

} // namespace vi::capture
