#include "RecordCore/SpeedSegment.h"

#include <array>
#include <utility>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;

constexpr std::array<std::pair<Reason, std::string_view>, 6> rawValues{{
    {Reason::normal, "normal"},
    {Reason::idle, "idle"},
    {Reason::agentWorking, "agentWorking"},
    {Reason::manual, "manual"},
    {Reason::cut, "cut"},
    {Reason::hold, "hold"},
}};

} // namespace

std::string_view SpeedSegment::rawValue(Reason reason) {
    for (const auto& [r, raw] : rawValues) {
        if (r == reason) return raw;
    }
    return "normal";
}

std::optional<SpeedSegment::Reason> SpeedSegment::reasonFromRaw(std::string_view raw) {
    for (const auto& [r, text] : rawValues) {
        if (text == raw) return r;
    }
    return std::nullopt;
}

} // namespace vi
