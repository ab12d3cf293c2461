#pragma once

#include "RecordCore/NRect.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vi {

// What the user did with pointer and keyboard during one recording. Times are seconds from the
// screen recording's first frame; positions are normalised to the recorded area (y downward).
//
// The two lists are read-only after construction: whether they are in time order is checked once
// here, so that `userActive` can answer by binary search on the many queries of a replan.
class InputLog {
public:
    struct CursorSample {
        double t = 0;
        double x = 0;
        double y = 0;
        bool operator==(const CursorSample&) const = default;
    };

    struct Event {
        enum class Kind { click, rightClick, key, scroll };
        double t = 0;
        Kind kind = Kind::click;
        std::optional<double> x; // key events carry no position
        std::optional<double> y;
        bool operator==(const Event&) const = default;

        static std::string_view rawValue(Kind kind);
        static std::optional<Kind> kindFromRaw(std::string_view raw);
    };

    InputLog() = default;
    // What the input recorder makes: key tracking known, the rest set later by the session.
    InputLog(std::vector<CursorSample> cursor, std::vector<Event> events, bool keysTracked);
    InputLog(std::vector<CursorSample> cursor, std::vector<Event> events,
             std::optional<bool> keysTracked, std::optional<bool> cursorInVideo,
             std::optional<double> cameraOffset);

    const std::vector<CursorSample>& cursor() const { return cursor_; }
    const std::vector<Event>& events() const { return events_; }

    // Whether key presses in other applications could be seen while recording.
    std::optional<bool> keysTracked;
    // Whether the recorded video itself shows the system pointer.
    std::optional<bool> cursorInVideo;
    // Camera start minus screen start, seconds; none without a camera recording.
    std::optional<double> cameraOffset;

    // Whether anything happened in [from, to): any event, or a pointer sample that lies more than
    // `moveThreshold` (per axis, strictly) from the window's first sample.
    bool userActive(double from, double to, double moveThreshold) const;

    // The same log with every position re-expressed in coordinates of `area` (x' = (x - ax) / aw);
    // times, order and everything else unchanged, nothing clipped.
    InputLog reframed(const NRect& area) const;

    // "input.json". Decoding, loading and saving throw DocumentError (RecordCore/JsonCoding.h).
    static InputLog decode(std::string_view bytes);
    std::string encode() const;
    static InputLog load(const std::filesystem::path& file);
    void save(const std::filesystem::path& file) const;

    bool operator==(const InputLog& other) const {
        return cursor_ == other.cursor_ && events_ == other.events_ && keysTracked == other.keysTracked
            && cursorInVideo == other.cursorInVideo && cameraOffset == other.cameraOffset;
    }

private:
    void checkTimeOrder();

    std::vector<CursorSample> cursor_;
    std::vector<Event> events_;
    bool cursorOrdered_ = true;
    bool eventsOrdered_ = true;
};

using CursorSample = InputLog::CursorSample;
using Event = InputLog::Event;

} // namespace vi
