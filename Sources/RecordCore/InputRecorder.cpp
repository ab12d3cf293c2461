#include "RecordCore/InputRecorder.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/Displays.h"
#include "Platform/Capture/FrameSchedule.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Capture/InputMonitor.h"
#include "Platform/Capture/PointerTracker.h"
#include "Platform/Capture/Windows.h"
#include "Platform/Capture/XConnection.h"

#include <pthread.h>
#include <unistd.h>

namespace vi {

namespace {
using Kind = capture::InputEvent::Kind;
}

InputRecorder::Point InputRecorder::normalized(double x, double y, const capture::PixelRect& area) {
    // Unknown bounds put every point outside the region.
    if (area.empty()) return {-1, -1};
    return {(x - area.x) / area.width, (y - area.y) / area.height};
}

InputRecorder::InputRecorder(Region region) : region_(region) {
    try {
        connection_ = std::make_unique<capture::XConnection>();
        samplerPointer_ = std::make_unique<capture::PointerTracker>();
        eventPointer_ = std::make_unique<capture::PointerTracker>();
    } catch (const capture::CaptureError&) {
        // No X server: the log stays empty, as without any input.
        connection_.reset();
        return;
    }
    if (region.kind == Region::Kind::display) {
        const auto displays = capture::listDisplays(*connection_);
        area_ = displays.front().frame; // the main display when the id is unknown
        for (const auto& display : displays) {
            if (display.id == region.id) area_ = display.frame;
        }
    } else {
        area_ = capture::windowBounds(*connection_, region.id).value_or(capture::PixelRect{});
    }
}

InputRecorder::~InputRecorder() {
    stopping_ = true;
    if (sampler_.joinable()) sampler_.join();
}

bool InputRecorder::seesKeys() {
    try {
        capture::InputMonitor probe({}, {});
        return probe.seesKeys();
    } catch (const capture::CaptureError&) {
        return false;
    }
}

capture::PixelRect InputRecorder::area() {
    std::lock_guard lock(mutex_);
    return area_;
}

InputRecorder::Point InputRecorder::pointerNow(capture::PointerTracker& pointer) {
    const auto position = pointer.position();
    if (!position) return {-1, -1};
    return normalized(position->x, position->y, area());
}

void InputRecorder::start() {
    if (!connection_ || sampler_.joinable()) return;
    monitor_ = std::make_unique<capture::InputMonitor>(
        [this](const capture::InputEvent& event) { onEvent(static_cast<int>(event.kind), event.time); },
        std::vector<std::uint32_t>{static_cast<std::uint32_t>(getpid())});
    {
        std::lock_guard lock(mutex_);
        seesKeys_ = monitor_->seesKeys();
    }
    monitor_->start();
    sampler_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "vi.input.ptr");
        capture::FrameSchedule schedule(capture::HostClock::nowNanoseconds(), samplesPerSecond);
        while (!stopping_) {
            capture::HostClock::sleepUntil(schedule.due());
            if (stopping_) break;
            sample();
            schedule.advance(capture::HostClock::nowNanoseconds());
        }
    });
}

void InputRecorder::sample() {
    ++ticks_;
    if (region_.kind == Region::Kind::window && ticks_ % boundsRefreshTicks == 0) {
        // A window that closed keeps its last bounds.
        if (auto bounds = capture::windowBounds(*connection_, region_.id); bounds && !bounds->empty()) {
            std::lock_guard lock(mutex_);
            area_ = *bounds;
        }
    }
    const double time = capture::HostClock::now();
    const auto point = pointerNow(*samplerPointer_);
    std::lock_guard lock(mutex_);
    cursor_.push_back({time, point.x, point.y});
}

void InputRecorder::onEvent(int kind, double time) {
    const auto point = pointerNow(*eventPointer_);
    const bool inside = point.x >= 0 && point.x <= 1 && point.y >= 0 && point.y <= 1;
    std::lock_guard lock(mutex_);
    switch (static_cast<Kind>(kind)) {
    case Kind::keyDown:
        events_.push_back({time, InputLog::Event::Kind::key, std::nullopt, std::nullopt});
        break;
    case Kind::leftDown:
        if (inside) events_.push_back({time, InputLog::Event::Kind::click, point.x, point.y});
        break;
    case Kind::rightDown:
        if (inside) events_.push_back({time, InputLog::Event::Kind::rightClick, point.x, point.y});
        break;
    case Kind::scroll:
        if (inside && time - lastScroll_ > scrollInterval) {
            events_.push_back({time, InputLog::Event::Kind::scroll, point.x, point.y});
            lastScroll_ = time;
        }
        break;
    }
}

InputLog InputRecorder::stop(double origin) {
    stopping_ = true;
    if (sampler_.joinable()) sampler_.join();
    if (monitor_) monitor_->stop();
    std::lock_guard lock(mutex_);
    std::vector<InputLog::CursorSample> cursor;
    for (const auto& sample : cursor_) {
        if (sample.t >= origin) cursor.push_back({sample.t - origin, sample.x, sample.y});
    }
    std::vector<InputLog::Event> events;
    for (const auto& event : events_) {
        if (event.t >= origin) events.push_back({event.t - origin, event.kind, event.x, event.y});
    }
    const bool keys = monitor_ ? seesKeys_ : seesKeys();
    return InputLog(std::move(cursor), std::move(events), std::optional<bool>(keys), std::optional<bool>(false),
                    std::nullopt);
}

} // namespace vi
