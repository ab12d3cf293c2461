#include "Platform/Media/CompositionAudioReader.h"

#include "Platform/Media/MediaError.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vi::media {

namespace {

// Sound is handed out in runs of this many sample frames (about 85 ms).
constexpr int kChunkFrames = 4096;

int64_t sampleOf(MediaTime time) { return time.convertedTo(kAudioSampleRate).value; }

} // namespace

// One sound track of the composition rendered forward on output sample frames.
class CompositionAudioReader::TrackRender {
public:
    explicit TrackRender(const CompositionTrack& track) : segments_(track.segments()), end_(sampleOf(track.duration()))
    {
        for (const CompositionSegment& segment : segments_)
            if (segment.isRetimed())
                throw MediaError(MediaErrorKind::invalidArgument, "retimed sound cannot be played",
                                 "track " + std::to_string(track.trackID()));
    }

    int64_t end() const { return end_; }

    // Adds the track's sound for output frames [from, from + count) to `sum`. Calls come in
    // order, each starting where the last ended.
    void addTo(int64_t from, int count, int32_t* sum)
    {
        int done = 0;
        while (done < count) {
            const int64_t at = from + done;
            while (index_ < segments_.size() && sampleOf(segments_[index_].target.end()) <= at)
                ++index_;
            if (index_ >= segments_.size())
                return; // past the track's end: silence
            const CompositionSegment& segment = segments_[index_];
            const int64_t segmentEnd = sampleOf(segment.target.end());
            const int room = static_cast<int>(std::min<int64_t>(count - done, segmentEnd - at));
            if (segment.isEmpty()) {
                done += room;
                continue;
            }
            done += copyFrom(segment, at, room, sum + static_cast<ptrdiff_t>(done) * kAudioChannels);
        }
    }

private:
    // Copies up to `room` frames of the segment's sound from output frame `at`; gaps in the file
    // and sound past its end are silence. Returns the frames covered.
    int copyFrom(const CompositionSegment& segment, int64_t at, int room, int32_t* sum)
    {
        prepare(segment);
        const int64_t wanted = at - offset_; // in the file's sample frames
        for (;;) {
            if (pending_.empty() || wanted >= pendingStart_ + pendingFrames()) {
                if (!pull())
                    return room; // the file has no more sound: silence
                continue;
            }
            if (wanted < pendingStart_)
                return static_cast<int>(std::min<int64_t>(room, pendingStart_ - wanted));
            const int64_t skip = wanted - pendingStart_;
            const int count = static_cast<int>(std::min<int64_t>(room, pendingFrames() - skip));
            const int16_t* samples = pending_.data() + skip * kAudioChannels;
            for (int k = 0; k < count * kAudioChannels; ++k)
                sum[k] += samples[k];
            return count;
        }
    }

    // Opens or positions the reader for a segment; a segment that continues the file where the
    // last one stopped reads on without seeking.
    void prepare(const CompositionSegment& segment)
    {
        if (active_ == &segment)
            return;
        const int64_t sourceStart = sampleOf(segment.source->start);
        const bool sameFile = reader_ && readerAsset_ == segment.asset->path() && readerTrack_ == segment.sourceTrack;
        if (!sameFile) {
            reader_ = std::make_unique<AudioTrackReader>(*segment.asset, AudioReaderOptions{segment.sourceTrack, 0});
            readerAsset_ = segment.asset->path();
            readerTrack_ = segment.sourceTrack;
            pending_.clear();
            exhausted_ = false;
            if (sourceStart > 0)
                seekTo(segment.source->start);
        } else if (sourceStart != nextSourceFrame_) {
            seekTo(segment.source->start);
        }
        offset_ = sampleOf(segment.target.start) - sourceStart;
        nextSourceFrame_ = sampleOf(segment.source->end());
        active_ = &segment;
    }

    void seekTo(MediaTime sourceTime)
    {
        reader_->seek(sourceTime.seconds());
        pending_.clear();
        exhausted_ = false;
    }

    bool pull()
    {
        if (exhausted_)
            return false;
        const std::optional<AudioChunk> chunk = reader_->next();
        if (!chunk) {
            exhausted_ = true;
            pending_.clear();
            return false;
        }
        pending_.assign(chunk->samples, chunk->samples + static_cast<ptrdiff_t>(chunk->frameCount) * kAudioChannels);
        pendingStart_ = sampleOf(chunk->time);
        return true;
    }

    int64_t pendingFrames() const { return static_cast<int64_t>(pending_.size() / kAudioChannels); }

    std::vector<CompositionSegment> segments_;
    int64_t end_;
    size_t index_ = 0;
    const CompositionSegment* active_ = nullptr;
    std::unique_ptr<AudioTrackReader> reader_;
    std::filesystem::path readerAsset_;
    int readerTrack_ = -1;
    int64_t nextSourceFrame_ = -1; // where the last segment's source range ended
    int64_t offset_ = 0;           // output frame minus file frame, within the active segment
    std::vector<int16_t> pending_;
    int64_t pendingStart_ = 0;
    bool exhausted_ = false;
};

CompositionAudioReader::CompositionAudioReader(const Composition& composition, std::vector<int> trackIDs)
{
    if (trackIDs.empty())
        for (const CompositionTrack* track : composition.tracks(TrackKind::audio))
            trackIDs.push_back(track->trackID());
    for (const int id : trackIDs) {
        const CompositionTrack* track = composition.track(id);
        if (!track || track->kind() != TrackKind::audio)
            throw MediaError(MediaErrorKind::invalidArgument, "the composition has no sound track " + std::to_string(id));
        tracks_.push_back(std::make_unique<TrackRender>(*track));
        end_ = std::max(end_, tracks_.back()->end());
    }
    sum_.resize(static_cast<size_t>(kChunkFrames) * kAudioChannels);
    mixed_.resize(sum_.size());
}

CompositionAudioReader::~CompositionAudioReader() = default;

MediaTime CompositionAudioReader::duration() const { return {end_, kAudioSampleRate}; }

std::optional<AudioChunk> CompositionAudioReader::next()
{
    if (position_ >= end_)
        return std::nullopt;
    const int count = static_cast<int>(std::min<int64_t>(kChunkFrames, end_ - position_));
    std::fill_n(sum_.begin(), static_cast<size_t>(count) * kAudioChannels, 0);
    for (const auto& track : tracks_)
        track->addTo(position_, count, sum_.data());
    constexpr int32_t lowest = std::numeric_limits<int16_t>::min(), highest = std::numeric_limits<int16_t>::max();
    for (size_t k = 0; k < static_cast<size_t>(count) * kAudioChannels; ++k)
        mixed_[k] = static_cast<int16_t>(std::clamp(sum_[k], lowest, highest));
    AudioChunk chunk{mixed_.data(), count, {position_, kAudioSampleRate}};
    position_ += count;
    return chunk;
}

} // namespace vi::media
