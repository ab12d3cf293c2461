#include "Platform/Media/MediaTime.h"

#include <cmath>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace vi::media {

namespace {

int32_t validTimescale(int32_t timescale) { return timescale > 0 ? timescale : kMediaTimescale; }

} // namespace

MediaTime MediaTime::fromSeconds(double seconds, int32_t timescale)
{
    timescale = validTimescale(timescale);
    const double ticks = seconds * timescale;
    // Beyond about 292 years of ticks there is no int64 value to give; such times are nonsense.
    if (!std::isfinite(ticks) || std::fabs(ticks) > 9.0e18)
        return {0, timescale};
    return {static_cast<int64_t>(std::llround(ticks)), timescale};
}

double MediaTime::seconds() const
{
    return static_cast<double>(value) / validTimescale(timescale);
}

MediaTime MediaTime::convertedTo(int32_t otherTimescale) const
{
    otherTimescale = validTimescale(otherTimescale);
    if (otherTimescale == timescale)
        return *this;
    const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
    return {av_rescale_rnd(value, otherTimescale, validTimescale(timescale), rounding), otherTimescale};
}

MediaTime MediaTime::operator+(MediaTime other) const
{
    return {value + other.convertedTo(timescale).value, timescale};
}

MediaTime MediaTime::operator-(MediaTime other) const
{
    return {value - other.convertedTo(timescale).value, timescale};
}

std::strong_ordering MediaTime::operator<=>(const MediaTime& other) const
{
    const int order = av_compare_ts(value, AVRational{1, validTimescale(timescale)}, other.value,
                                    AVRational{1, validTimescale(other.timescale)});
    return order <=> 0;
}

} // namespace vi::media
