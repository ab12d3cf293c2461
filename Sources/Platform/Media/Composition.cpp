#include "Platform/Media/Composition.h"

#include "Platform/Media/MediaError.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace vi::media {

namespace {

MediaTime onScale(MediaTime time) { return time.convertedTo(kMediaTimescale); }

// `value` x `numerator` / `denominator` (both positive), to the nearest tick, without overflowing.
int64_t scaled(int64_t value, int64_t numerator, int64_t denominator)
{
    return av_rescale_rnd(value, numerator, denominator, static_cast<AVRounding>(AV_ROUND_NEAR_INF));
}

MediaTime ticks(int64_t value) { return {value, kMediaTimescale}; }

// Splits a segment at an output time strictly inside it; returns the part from that time on.
CompositionSegment splitOff(CompositionSegment& segment, MediaTime at)
{
    CompositionSegment tail = segment;
    const MediaTime end = segment.target.end();
    const MediaTime sourceSplit = segment.sourceTime(at);
    segment.target.duration = at - segment.target.start;
    tail.target = MediaTimeRange::fromStartEnd(at, end);
    if (segment.source) {
        const MediaTime sourceEnd = segment.source->end();
        segment.source->duration = sourceSplit - segment.source->start;
        tail.source = MediaTimeRange::fromStartEnd(sourceSplit, sourceEnd);
    }
    return tail;
}

} // namespace

MediaTime CompositionSegment::sourceTime(MediaTime output) const
{
    if (!source)
        return output;
    const int64_t offset = (onScale(output) - onScale(target.start)).value;
    const int64_t targetLength = onScale(target.duration).value;
    const int64_t sourceLength = onScale(source->duration).value;
    if (targetLength <= 0)
        return onScale(source->start);
    return onScale(source->start) + ticks(scaled(offset, sourceLength, targetLength));
}

MediaTime CompositionSegment::outputTime(MediaTime sourceTime) const
{
    if (!source)
        return sourceTime;
    const int64_t offset = (onScale(sourceTime) - onScale(source->start)).value;
    const int64_t targetLength = onScale(target.duration).value;
    const int64_t sourceLength = onScale(source->duration).value;
    if (sourceLength <= 0)
        return onScale(target.start);
    return onScale(target.start) + ticks(scaled(offset, targetLength, sourceLength));
}

MediaTime CompositionTrack::duration() const
{
    return segments_.empty() ? ticks(0) : segments_.back().target.end();
}

const CompositionSegment* CompositionTrack::segmentAt(MediaTime output) const
{
    // The first segment ending after the time; segments abut, so it contains the time.
    const auto found = std::upper_bound(segments_.begin(), segments_.end(), output,
                                        [](MediaTime time, const CompositionSegment& s) { return time < s.target.end(); });
    if (found == segments_.end() || output < found->target.start)
        return nullptr;
    return &*found;
}

size_t CompositionTrack::boundaryAt(MediaTime at)
{
    at = onScale(at);
    const MediaTime end = duration();
    if (at > end) {
        segments_.push_back(CompositionSegment{MediaTimeRange::fromStartEnd(end, at), std::nullopt, nullptr, 0});
        return segments_.size();
    }
    for (size_t index = 0; index < segments_.size(); ++index) {
        CompositionSegment& segment = segments_[index];
        if (segment.target.start == at)
            return index;
        if (segment.target.contains(at)) {
            CompositionSegment tail = splitOff(segment, at);
            segments_.insert(segments_.begin() + static_cast<ptrdiff_t>(index) + 1, std::move(tail));
            return index + 1;
        }
    }
    return segments_.size();
}

void CompositionTrack::shiftFrom(size_t index, MediaTime by)
{
    for (; index < segments_.size(); ++index)
        segments_[index].target.start = segments_[index].target.start + by;
}

void CompositionTrack::insertTimeRange(MediaTimeRange sourceRange, const Asset& asset, int sourceTrack, MediaTime at)
{
    const std::vector<TrackInfo> candidates = kind_ == TrackKind::video ? asset.videoTracks() : asset.audioTracks();
    if (sourceTrack < 0 || sourceTrack >= static_cast<int>(candidates.size()))
        throw MediaError(MediaErrorKind::invalidArgument,
                         "the file has no such " + std::string(kind_ == TrackKind::video ? "video" : "sound") + " track",
                         asset.path().string());
    sourceRange = {onScale(sourceRange.start), onScale(sourceRange.duration)};
    if (sourceRange.isEmpty() || sourceRange.start.value < 0 || sourceRange.start > asset.duration())
        throw MediaError(MediaErrorKind::invalidArgument, "the range to insert lies outside the file",
                         "start " + std::to_string(sourceRange.start.seconds()) + " s, duration " +
                             std::to_string(sourceRange.duration.seconds()) + " s");
    const size_t index = boundaryAt(at);
    const MediaTime start = index < segments_.size() ? segments_[index].target.start : duration();
    shiftFrom(index, sourceRange.duration);
    segments_.insert(segments_.begin() + static_cast<ptrdiff_t>(index),
                     CompositionSegment{{start, sourceRange.duration}, sourceRange,
                                        std::make_shared<const Asset>(asset), sourceTrack});
}

void CompositionTrack::insertEmptyTimeRange(MediaTimeRange range)
{
    range = {onScale(range.start), onScale(range.duration)};
    if (range.isEmpty())
        return;
    const size_t index = boundaryAt(range.start);
    const MediaTime start = index < segments_.size() ? segments_[index].target.start : duration();
    shiftFrom(index, range.duration);
    segments_.insert(segments_.begin() + static_cast<ptrdiff_t>(index),
                     CompositionSegment{{start, range.duration}, std::nullopt, nullptr, 0});
}

void CompositionTrack::scaleTimeRange(MediaTimeRange range, MediaTime newDuration)
{
    range = {onScale(range.start), onScale(range.duration)};
    newDuration = onScale(newDuration);
    if (range.isEmpty() || newDuration.value <= 0)
        throw MediaError(MediaErrorKind::invalidArgument, "a range is retimed from or to no time at all");
    const MediaTime end = std::min(range.end(), duration());
    if (end <= range.start)
        return;
    // Clipped to the track, the part's new length keeps the requested ratio.
    const int64_t oldLength = (end - range.start).value;
    const int64_t newLength = scaled(oldLength, newDuration.value, range.duration.value);
    const size_t first = boundaryAt(range.start);
    const size_t last = boundaryAt(end);
    for (size_t index = first; index < last; ++index) {
        CompositionSegment& segment = segments_[index];
        const int64_t from = (segment.target.start - range.start).value;
        const int64_t to = (segment.target.end() - range.start).value;
        const MediaTime newStart = range.start + ticks(scaled(from, newLength, oldLength));
        const MediaTime newEnd = range.start + ticks(scaled(to, newLength, oldLength));
        segment.target = MediaTimeRange::fromStartEnd(newStart, newEnd);
    }
    shiftFrom(last, ticks(newLength - oldLength));
    // A stretch squeezed below one tick would no longer play at all.
    std::erase_if(segments_, [](const CompositionSegment& s) { return s.target.isEmpty(); });
}

CompositionTrack* Composition::addMutableTrack(TrackKind kind, int preferredTrackID)
{
    auto used = [&](int id) { return track(id) != nullptr; };
    int id = preferredTrackID;
    if (id <= 0 || used(id)) {
        id = 1;
        while (used(id))
            ++id;
    }
    return &tracks_.emplace_back(kind, id);
}

std::vector<const CompositionTrack*> Composition::tracks(TrackKind kind) const
{
    std::vector<const CompositionTrack*> found;
    for (const CompositionTrack& track : tracks_)
        if (track.kind() == kind)
            found.push_back(&track);
    return found;
}

std::vector<CompositionTrack*> Composition::tracks(TrackKind kind)
{
    std::vector<CompositionTrack*> found;
    for (CompositionTrack& track : tracks_)
        if (track.kind() == kind)
            found.push_back(&track);
    return found;
}

const CompositionTrack* Composition::track(int trackID) const
{
    for (const CompositionTrack& track : tracks_)
        if (track.trackID() == trackID)
            return &track;
    return nullptr;
}

MediaTime Composition::duration() const
{
    MediaTime longest = ticks(0);
    for (const CompositionTrack& track : tracks_)
        longest = std::max(longest, track.duration());
    return longest;
}

} // namespace vi::media
