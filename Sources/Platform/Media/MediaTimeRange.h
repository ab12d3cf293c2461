#pragma once

#include "Platform/Media/MediaTime.h"

namespace vi::media {

// A stretch of media time: from `start` for `duration` (never negative).
struct MediaTimeRange {
    MediaTime start;
    MediaTime duration;

    static MediaTimeRange fromStartEnd(MediaTime start, MediaTime end) { return {start, end - start}; }
    MediaTime end() const { return start + duration; }
    bool isEmpty() const { return duration.value <= 0; }
    bool contains(MediaTime time) const { return start <= time && time < end(); }

    bool operator==(const MediaTimeRange&) const = default;
};

} // namespace vi::media
