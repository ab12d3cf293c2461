#pragma once

#include <optional>
#include <string_view>

namespace vi {

// A stretch of source time played at one speed.
struct SpeedSegment {
    enum class Reason { normal, idle, agentWorking, manual, cut, hold };

    double start = 0;
    double end = 0;
    // Playback rate: 1 is real time, 10 plays ten source seconds per output second; always > 0.
    double speed = 1;
    Reason reason = Reason::normal;

    constexpr double length() const { return end - start; }
    // Output seconds this stretch lasts; a cut lasts none.
    constexpr double outputLength() const { return reason == Reason::cut ? 0.0 : (end - start) / speed; }
    constexpr bool isFastForward() const { return reason != Reason::cut && speed > 1.0; }

    bool operator==(const SpeedSegment&) const = default;

    // The text each reason is stored as ("normal", "idle", "agentWorking", "manual", "cut", "hold").
    static std::string_view rawValue(Reason reason);
    // None for a text outside the six raw values.
    static std::optional<Reason> reasonFromRaw(std::string_view raw);
};

} // namespace vi
