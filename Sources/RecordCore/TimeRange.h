#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json_fwd.hpp>

namespace vi {

// A span of source time in seconds, half-open: [start, end).
struct TimeRange {
    double start = 0;
    double end = 0;

    constexpr TimeRange() = default;
    // Orders its two arguments: the smaller becomes the start.
    constexpr TimeRange(double a, double b) : start(b < a ? b : a), end(b < a ? a : b) {}
    // Keeps the two values as written, even reversed (what a stored range holds).
    static constexpr TimeRange stored(double start, double end) {
        TimeRange r;
        r.start = start;
        r.end = end;
        return r;
    }

    constexpr double length() const { return end - start; }
    constexpr bool contains(double t) const { return start <= t && t < end; }

    bool operator==(const TimeRange&) const = default;
};

// JSON form: {"start", "end"}, both required; decoding keeps a reversed range as written.
void to_json(nlohmann::json& j, const TimeRange& r);
void from_json(const nlohmann::json& j, TimeRange& r);

} // namespace vi

template <>
struct std::hash<vi::TimeRange> {
    std::size_t operator()(const vi::TimeRange& r) const noexcept {
        // Equal ranges must hash equally: fold -0 into 0 as == does.
        const std::size_t a = std::hash<double>{}(r.start + 0.0);
        const std::size_t b = std::hash<double>{}(r.end + 0.0);
        return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};
