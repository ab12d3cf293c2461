#pragma once

#include <compare>
#include <cstdint>

namespace vi::media {

// The timescale of every media time the rest of the system hands to the media layer: 60000
// ticks a second divides evenly into the frame durations of 24, 25, 30, 50 and 60 fps, and the
// drop-frame rates are whole multiples of 1001 ticks.
inline constexpr int32_t kMediaTimescale = 60000;

// A point in media time as a rational: `value` ticks of 1/`timescale` seconds. Sums of frame
// durations stay exact where sums of doubles drift.
struct MediaTime {
    int64_t value = 0;
    int32_t timescale = kMediaTimescale;

    // Rounds to the nearest tick, halves away from zero. Non-finite seconds give zero.
    static MediaTime fromSeconds(double seconds, int32_t timescale = kMediaTimescale);

    double seconds() const;

    // The same instant on another timescale, rounded to the nearest tick of it.
    MediaTime convertedTo(int32_t otherTimescale) const;

    // Sums and differences are exact on a shared timescale; otherwise the right operand is
    // first converted to the left operand's timescale.
    MediaTime operator+(MediaTime other) const;
    MediaTime operator-(MediaTime other) const;
    MediaTime& operator+=(MediaTime other) { return *this = *this + other; }

    // Compares the instants exactly, whatever the two timescales.
    std::strong_ordering operator<=>(const MediaTime& other) const;
    bool operator==(const MediaTime& other) const { return (*this <=> other) == 0; }
};

} // namespace vi::media
