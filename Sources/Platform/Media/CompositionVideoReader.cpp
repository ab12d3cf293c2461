#include "Platform/Media/CompositionVideoReader.h"

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/VideoTrackReader.h"

#include <algorithm>

namespace vi::media {

namespace {

// A frame within a tick of the asked time counts as showing then.
constexpr MediaTime kTolerance{1, kMediaTimescale};
// In a file without an index, further ahead than this seeking to the keyframe before the time
// beats decoding every frame.
constexpr MediaTime kSeekAhead{3 * kMediaTimescale, kMediaTimescale};
// Within a run of frames, a seek pays once it passes over this much more than the keyframe's
// own distance: about what the decoder's threads have under way and must start again.
constexpr MediaTime kSeekPaysAfter{kMediaTimescale / 2, kMediaTimescale};

} // namespace

struct CompositionVideoReader::State {
    std::vector<CompositionSegment> segments;
    std::unique_ptr<VideoTrackReader> reader;
    std::filesystem::path readerPath;
    int readerTrack = -1;
    std::optional<VideoFrame> current;
    std::optional<VideoFrame> upcoming;
    MediaTime lastAsked{-1, kMediaTimescale}; // the source time the reader was last moved to
    ColorConverter converter;
    std::unique_ptr<PixelBufferPool> pool;
    std::optional<CompositionFrame> converted; // the last frame handed out, kept for repeats
    std::function<bool()> interrupted;

    const CompositionSegment* segmentAt(MediaTime output) const
    {
        const auto found = std::upper_bound(segments.begin(), segments.end(), output,
                                            [](MediaTime t, const CompositionSegment& s) { return t < s.target.end(); });
        if (found == segments.end() || output < found->target.start)
            return nullptr;
        return &*found;
    }

    bool wasInterrupted() const { return interrupted && interrupted(); }

    void startAt(MediaTime sourceTime)
    {
        current = reader->next();
        upcoming = current ? reader->next() : std::nullopt;
        lastAsked = sourceTime;
        // A search cut short stopped before the time: the reader is only that far.
        if (current && wasInterrupted())
            lastAsked = std::min(current->time, sourceTime);
    }

    // Whether going to the keyframe before `sourceTime` beats reading on from where the reader
    // is. A seek drops the frames the decoder's threads have under way and starts their
    // pipeline again, so within a run of frames it pays only when it passes over a good stretch;
    // for a frame wanted at once (a seek while paused) any keyframe between makes it shorter.
    // Without an index, only a long way ahead.
    bool seekingIsShorter(MediaTime sourceTime, bool promptly) const
    {
        if (!upcoming || sourceTime <= upcoming->time + kTolerance)
            return false;
        if (const auto key = reader->keyFrameAtOrBefore(sourceTime + kTolerance))
            return *key > upcoming->time + (promptly ? MediaTime{0, kMediaTimescale} : kSeekPaysAfter);
        return sourceTime > upcoming->time + kSeekAhead;
    }

    void moveTo(const CompositionSegment& segment, MediaTime sourceTime, bool promptly)
    {
        const bool sameFile = reader && readerPath == segment.asset->path() && readerTrack == segment.sourceTrack;
        if (!sameFile) {
            reader = std::make_unique<VideoTrackReader>(*segment.asset,
                                                        VideoReaderOptions{segment.sourceTrack, VideoOutput::native, 0, 0});
            reader->setInterruption(interrupted);
            if (sourceTime.value > 0)
                reader->seek(sourceTime.seconds());
            readerPath = segment.asset->path();
            readerTrack = segment.sourceTrack;
            startAt(sourceTime);
            return;
        }
        const bool backwards = sourceTime < lastAsked;
        if (backwards || seekingIsShorter(sourceTime, promptly)) {
            reader->seek(sourceTime.seconds());
            startAt(sourceTime);
            return;
        }
        lastAsked = sourceTime;
        while (upcoming && upcoming->time <= sourceTime + kTolerance) {
            if (current && wasInterrupted()) {
                lastAsked = current->time;
                break;
            }
            current = std::move(upcoming);
            upcoming = reader->next();
        }
    }

    CompositionFrame deliver(const VideoFrame& frame)
    {
        if (converted && converted->sourceTime == frame.time && readerPath == convertedPath)
            return *converted;
        const PixelBuffer& native = frame.picture;
        if (native.format() == PixelFormat::bgra) {
            converted = CompositionFrame{native, frame.time};
        } else {
            if (!pool || pool->width() != native.width() || pool->height() != native.height())
                pool = std::make_unique<PixelBufferPool>(PixelFormat::bgra, native.width(), native.height());
            PixelBuffer bgra = pool->acquire();
            converter.convert(native.view(), bgra);
            converted = CompositionFrame{std::move(bgra), frame.time};
        }
        convertedPath = readerPath;
        return *converted;
    }

    std::filesystem::path convertedPath;
};

CompositionVideoReader::CompositionVideoReader(const Composition& composition, int trackID)
    : state_(std::make_unique<State>())
{
    const CompositionTrack* track = composition.track(trackID);
    if (!track || track->kind() != TrackKind::video)
        throw MediaError(MediaErrorKind::invalidArgument, "the composition has no video track " + std::to_string(trackID));
    state_->segments = track->segments();
}

CompositionVideoReader::~CompositionVideoReader() = default;

void CompositionVideoReader::setTrack(const Composition& composition, int trackID)
{
    const CompositionTrack* track = composition.track(trackID);
    if (!track || track->kind() != TrackKind::video)
        throw MediaError(MediaErrorKind::invalidArgument, "the composition has no video track " + std::to_string(trackID));
    // The open file stays open: the next frame asked for moves it (seeking when that is shorter).
    state_->segments = track->segments();
}

void CompositionVideoReader::setInterruption(std::function<bool()> interrupted)
{
    state_->interrupted = std::move(interrupted);
    if (state_->reader)
        state_->reader->setInterruption(state_->interrupted);
}

std::optional<CompositionFrame> CompositionVideoReader::frameAt(MediaTime output, bool promptly)
{
    State& s = *state_;
    const CompositionSegment* segment = s.segmentAt(output.convertedTo(kMediaTimescale));
    if (!segment || segment->isEmpty())
        return std::nullopt;
    s.moveTo(*segment, segment->sourceTime(output), promptly);
    if (!s.current)
        return std::nullopt;
    return s.deliver(*s.current);
}

} // namespace vi::media
