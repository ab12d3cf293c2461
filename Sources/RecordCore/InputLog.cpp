#include "RecordCore/InputLog.h"

#include "Platform/Desktop/AtomicFile.h"
#include "Platform/Desktop/ReadFile.h"
#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace vi {
namespace {

using nlohmann::json;
using Kind = InputLog::Event::Kind;

constexpr std::array<std::pair<Kind, std::string_view>, 4> kindValues{{
    {Kind::click, "click"},
    {Kind::rightClick, "rightClick"},
    {Kind::key, "key"},
    {Kind::scroll, "scroll"},
}};

// In time order when every time is a number and none is smaller than the one before; a NaN
// anywhere sends the queries to the plain walk, which simply never matches it.
template <typename T>
bool inTimeOrder(const std::vector<T>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (std::isnan(items[i].t)) return false;
        if (i > 0 && items[i].t < items[i - 1].t) return false;
    }
    return true;
}

// The first item at or after `t` in a list in time order.
template <typename T>
auto firstAtOrAfter(const std::vector<T>& items, double t) {
    return std::partition_point(items.begin(), items.end(), [t](const T& item) { return item.t < t; });
}

bool movedFrom(const InputLog::CursorSample& reference, const InputLog::CursorSample& s, double threshold) {
    return std::abs(s.x - reference.x) > threshold || std::abs(s.y - reference.y) > threshold;
}

InputLog::CursorSample sampleFromJson(const json& j) {
    coding::object(j, "a pointer sample");
    return {coding::number(j, "t"), coding::number(j, "x"), coding::number(j, "y")};
}

InputLog::Event eventFromJson(const json& j) {
    coding::object(j, "an input event");
    InputLog::Event e;
    e.t = coding::number(j, "t");
    const auto kind = InputLog::Event::kindFromRaw(coding::text(j, "kind"));
    if (!kind) throw DocumentError("member \"kind\" is not a known event kind");
    e.kind = *kind;
    e.x = coding::optionalNumber(j, "x");
    e.y = coding::optionalNumber(j, "y");
    return e;
}

} // namespace

std::string_view InputLog::Event::rawValue(Kind kind) {
    for (const auto& [k, raw] : kindValues) {
        if (k == kind) return raw;
    }
    return "click";
}

std::optional<InputLog::Event::Kind> InputLog::Event::kindFromRaw(std::string_view raw) {
    for (const auto& [k, text] : kindValues) {
        if (text == raw) return k;
    }
    return std::nullopt;
}

InputLog::InputLog(std::vector<CursorSample> cursor, std::vector<Event> events, bool keysTracked_)
    : InputLog(std::move(cursor), std::move(events), keysTracked_, std::nullopt, std::nullopt) {}

InputLog::InputLog(std::vector<CursorSample> cursor, std::vector<Event> events, std::optional<bool> keysTracked_,
                   std::optional<bool> cursorInVideo_, std::optional<double> cameraOffset_)
    : keysTracked(keysTracked_), cursorInVideo(cursorInVideo_), cameraOffset(cameraOffset_),
      cursor_(std::move(cursor)), events_(std::move(events)) {
    checkTimeOrder();
}

void InputLog::checkTimeOrder() {
    cursorOrdered_ = inTimeOrder(cursor_);
    eventsOrdered_ = inTimeOrder(events_);
}

bool InputLog::userActive(double from, double to, double moveThreshold) const {
    // Any event in [from, to), of any kind, with or without a position.
    if (eventsOrdered_) {
        const auto first = firstAtOrAfter(events_, from);
        // With a NaN bound no time qualifies, as in the walk.
        if (!std::isnan(from) && first != events_.end() && first->t < to) return true;
    } else {
        for (const Event& e : events_) {
            if (from <= e.t && e.t < to) return true;
        }
    }

    // The pointer: any sample in the window further than the threshold from the window's first
    // sample, per axis. In time order the window's samples are one contiguous run.
    if (cursorOrdered_) {
        if (std::isnan(from) || std::isnan(to)) return false;
        const auto begin = firstAtOrAfter(cursor_, from);
        const auto end = firstAtOrAfter(cursor_, to);
        if (begin >= end) return false;
        return std::any_of(std::next(begin), end,
                           [&](const CursorSample& s) { return movedFrom(*begin, s, moveThreshold); });
    }
    const CursorSample* reference = nullptr;
    for (const CursorSample& s : cursor_) {
        if (!(from <= s.t && s.t < to)) continue;
        if (!reference) {
            reference = &s;
        } else if (movedFrom(*reference, s, moveThreshold)) {
            return true;
        }
    }
    return false;
}

InputLog InputLog::reframed(const NRect& area) const {
    InputLog out = *this; // times and order are unchanged, so the order checks still hold
    for (CursorSample& s : out.cursor_) {
        s.x = (s.x - area.x) / area.w;
        s.y = (s.y - area.y) / area.h;
    }
    for (Event& e : out.events_) {
        if (e.x) e.x = (*e.x - area.x) / area.w;
        if (e.y) e.y = (*e.y - area.y) / area.h;
    }
    return out;
}

InputLog InputLog::decode(std::string_view bytes) {
    const json document = coding::parse(bytes);
    coding::object(document, "the input log");
    std::vector<CursorSample> cursor;
    const json& samples = coding::array(document, "cursor");
    cursor.reserve(samples.size());
    for (const json& s : samples) cursor.push_back(sampleFromJson(s));
    std::vector<Event> events;
    const json& eventList = coding::array(document, "events");
    events.reserve(eventList.size());
    for (const json& e : eventList) events.push_back(eventFromJson(e));
    return InputLog(std::move(cursor), std::move(events), coding::optionalBoolean(document, "keysTracked"),
                    coding::optionalBoolean(document, "cursorInVideo"), coding::optionalNumber(document, "cameraOffset"));
}

// Written straight into text: an hour's log has some 216,000 samples, and a tree of them costs
// far more than the numbers themselves.
std::string InputLog::encode() const {
    // Typical sizes of one written sample and one written event.
    constexpr std::size_t sampleBytes = 64;
    constexpr std::size_t eventBytes = 72;
    std::string out;
    out.reserve(64 + cursor_.size() * sampleBytes + events_.size() * eventBytes);
    out += "{\"cursor\":[";
    for (std::size_t i = 0; i < cursor_.size(); ++i) {
        const CursorSample& s = cursor_[i];
        out += i ? ",{\"t\":" : "{\"t\":";
        coding::appendNumber(out, s.t, "t");
        out += ",\"x\":";
        coding::appendNumber(out, s.x, "x");
        out += ",\"y\":";
        coding::appendNumber(out, s.y, "y");
        out += '}';
    }
    out += "],\"events\":[";
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const Event& e = events_[i];
        out += i ? ",{\"t\":" : "{\"t\":";
        coding::appendNumber(out, e.t, "t");
        out += ",\"kind\":\"";
        out += Event::rawValue(e.kind);
        out += '"';
        if (e.x) {
            out += ",\"x\":";
            coding::appendNumber(out, *e.x, "x");
        }
        if (e.y) {
            out += ",\"y\":";
            coding::appendNumber(out, *e.y, "y");
        }
        out += '}';
    }
    out += ']';
    if (keysTracked) out += *keysTracked ? ",\"keysTracked\":true" : ",\"keysTracked\":false";
    if (cursorInVideo) out += *cursorInVideo ? ",\"cursorInVideo\":true" : ",\"cursorInVideo\":false";
    if (cameraOffset) {
        out += ",\"cameraOffset\":";
        coding::appendNumber(out, *cameraOffset, "cameraOffset");
    }
    out += '}';
    return out;
}

InputLog InputLog::load(const std::filesystem::path& file) {
    const auto bytes = platform::readWholeFile(file);
    if (!bytes) throw DocumentError("cannot read " + file.string());
    return decode(*bytes);
}

void InputLog::save(const std::filesystem::path& file) const {
    const std::string bytes = encode();
    if (const auto written = platform::writeFileAtomically(file, bytes); !written) {
        throw DocumentError("cannot write " + file.string() + ": " + written.error);
    }
}

} // namespace vi
