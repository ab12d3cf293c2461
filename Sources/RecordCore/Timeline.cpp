#include "RecordCore/Timeline.h"

#include <algorithm>

namespace vi {

namespace {

using media::Composition;
using media::CompositionTrack;
using media::MediaTime;
using media::MediaTimeRange;
using media::TrackKind;

MediaTime at(double seconds) { return MediaTime::fromSeconds(seconds, Timeline::timescale); }

void layRecording(Composition& composition, const media::Asset& asset, const Plan& plan, bool video)
{
    const MediaTime duration = asset.duration().convertedTo(Timeline::timescale);
    const bool sourceVideo = video && asset.hasVideo();
    CompositionTrack* videoTrack = sourceVideo ? composition.addMutableTrack(TrackKind::video) : nullptr;
    std::vector<CompositionTrack*> soundTracks;
    for (size_t k = 0; k < asset.audioTracks().size(); ++k)
        soundTracks.push_back(composition.addMutableTrack(TrackKind::audio));

    MediaTime cursor{0, Timeline::timescale};
    for (const SpeedSegment& segment : plan.segments) {
        if (segment.reason == SpeedSegment::Reason::cut)
            continue;
        const MediaTime start = at(segment.start);
        const MediaTime end = std::min(at(segment.end), duration);
        if (end <= start)
            continue;
        const MediaTimeRange range = MediaTimeRange::fromStartEnd(start, end);
        const bool spedUp = segment.speed != 1.0;
        const MediaTime out = spedUp ? at(range.duration.seconds() / segment.speed) : range.duration;
        if (videoTrack) {
            videoTrack->insertTimeRange(range, asset, 0, cursor);
            if (spedUp)
                videoTrack->scaleTimeRange({cursor, range.duration}, out);
        }
        for (size_t k = 0; k < soundTracks.size(); ++k) {
            if (spedUp)
                soundTracks[k]->insertEmptyTimeRange({cursor, out});
            else
                soundTracks[k]->insertTimeRange(range, asset, static_cast<int>(k), cursor);
        }
        cursor += out;
    }
}

// Walks the plan in seconds, laying the camera's pieces where the screen shows the same moment.
void layCamera(Composition& composition, const Timeline::CameraInput& camera, const Plan& plan)
{
    if (!camera.asset.hasVideo())
        return;
    CompositionTrack* track = composition.addMutableTrack(TrackKind::video);
    const double cameraDuration = camera.asset.durationSeconds();
    const double offset = camera.offset;
    double outputStart = 0; // output time at which the current segment starts
    for (const SpeedSegment& segment : plan.segments) {
        if (segment.reason == SpeedSegment::Reason::cut)
            continue;
        const double speed = segment.speed;
        double filled = outputStart;
        const double from = std::max(0.0, segment.start - offset);
        const double to = std::min(segment.end - offset, cameraDuration);
        const double piece = to - from;
        if (piece > Timeline::shortestCameraPiece) {
            const double lead = (from - (segment.start - offset)) / speed;
            if (lead > Timeline::shortestCameraGap) {
                track->insertEmptyTimeRange({at(outputStart), at(lead)});
                filled = outputStart + lead;
            }
            const MediaTimeRange range = MediaTimeRange::fromStartEnd(at(from), at(to));
            track->insertTimeRange(range, camera.asset, 0, at(filled));
            if (speed != 1.0)
                track->scaleTimeRange({at(filled), range.duration}, at(piece / speed));
            filled += piece / speed;
        }
        // The whole segment, even where the recording's own tracks were clipped or skipped.
        outputStart += (segment.end - segment.start) / speed;
        if (outputStart - filled > Timeline::shortestCameraGap)
            track->insertEmptyTimeRange({at(filled), at(outputStart - filled)});
    }
}

} // namespace

namespace Timeline {

media::Composition composition(const media::Asset& asset, const Plan& plan, bool video,
                               const std::optional<CameraInput>& camera)
{
    Composition result;
    layRecording(result, asset, plan, video);
    if (camera)
        layCamera(result, *camera, plan);
    return result;
}

} // namespace Timeline

} // namespace vi
