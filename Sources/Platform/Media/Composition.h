#pragma once

#include "Platform/Media/Asset.h"
#include "Platform/Media/MediaTimeRange.h"

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace vi::media {

// One stretch of a composition track on output time: either empty (no media: silence for sound,
// no frame for video) or a range of a source track played over `target`. When the two ranges
// differ in length the media is retimed: it plays faster or slower by their ratio.
struct CompositionSegment {
    MediaTimeRange target;
    std::optional<MediaTimeRange> source;  // none for an empty stretch
    std::shared_ptr<const Asset> asset;    // the file the source range is read from
    int sourceTrack = 0;                   // among the asset's tracks of the composition track's kind

    bool isEmpty() const { return !source.has_value(); }
    bool isRetimed() const { return source && source->duration != target.duration; }
    // The source time shown at an output time (linear over the segment), and back.
    MediaTime sourceTime(MediaTime output) const;
    MediaTime outputTime(MediaTime sourceTime) const;
};

// A track of a composition: segments that abut on output time from 0, in order. Inserting shifts
// everything after the insertion point later; the track's duration is where its last segment
// ends. Times are kept on the 60000 timescale.
class CompositionTrack {
public:
    CompositionTrack(TrackKind kind, int trackID) : kind_(kind), trackID_(trackID) {}

    TrackKind kind() const { return kind_; }
    int trackID() const { return trackID_; }
    const std::vector<CompositionSegment>& segments() const { return segments_; }
    MediaTime duration() const;
    // The segment playing at an output time; none outside the track.
    const CompositionSegment* segmentAt(MediaTime output) const;

    // Copies `sourceRange` of the asset's `sourceTrack`-th track of this track's kind to `at`.
    // Inserting past the end leaves an empty stretch before the new media. Throws MediaError
    // (invalidArgument) when the asset has no such track or the range lies outside it.
    void insertTimeRange(MediaTimeRange sourceRange, const Asset& asset, int sourceTrack, MediaTime at);
    // An empty stretch at `range.start` of `range.duration`.
    void insertEmptyTimeRange(MediaTimeRange range);
    // Retimes what plays over `range` (clipped to the track) to last `duration`; what follows
    // moves with its end. Throws MediaError (invalidArgument) for an empty range or duration.
    void scaleTimeRange(MediaTimeRange range, MediaTime duration);

private:
    // Makes `at` fall on a segment boundary, inserting an empty stretch when it lies past the
    // end; returns the index of the first segment starting at or after it.
    size_t boundaryAt(MediaTime at);
    void shiftFrom(size_t index, MediaTime by);

    TrackKind kind_;
    int trackID_;
    std::vector<CompositionSegment> segments_;
};

// Tracks of inserted, retimed and empty ranges on one output time axis. Readers find tracks by
// kind and order (`tracks`), or by the ID the composition gave them.
class Composition {
public:
    // A new empty track. `preferredTrackID` 0 (or one in use) lets the composition choose.
    // Never refuses here; the pointer stays valid for the composition's life.
    CompositionTrack* addMutableTrack(TrackKind kind, int preferredTrackID = 0);

    std::vector<const CompositionTrack*> tracks(TrackKind kind) const;
    std::vector<CompositionTrack*> tracks(TrackKind kind);
    const CompositionTrack* track(int trackID) const;
    // The end of the longest track.
    MediaTime duration() const;

private:
    std::deque<CompositionTrack> tracks_;
};

} // namespace vi::media
