#include "Platform/Media/CompositionSound.h"

#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>

namespace vi::media {

CompositionSound::CompositionSound(std::shared_ptr<const Composition> composition)
    : pending_(std::move(composition)) {}

void CompositionSound::replace(std::shared_ptr<const Composition> composition) {
    std::lock_guard lock(mutex_);
    pending_ = std::move(composition);
}

namespace {

// The sound tracks of a composition from `from` on, moved to start at 0, so that a reader opened
// on them seeks its files straight to the place instead of reading everything before it.
Composition soundFrom(const Composition& composition, MediaTime from) {
    Composition tail;
    for (const CompositionTrack* track : composition.tracks(TrackKind::audio)) {
        CompositionTrack* copy = tail.addMutableTrack(TrackKind::audio);
        for (const CompositionSegment& segment : track->segments()) {
            if (segment.target.end() <= from) continue;
            const MediaTime cut = std::max(segment.target.start, from);
            const MediaTime length = segment.target.end() - cut;
            if (length.value <= 0) continue;
            if (segment.isEmpty() || segment.isRetimed()) {
                copy->insertEmptyTimeRange({copy->duration(), length});
            } else {
                copy->insertTimeRange({segment.sourceTime(cut), length}, *segment.asset, segment.sourceTrack,
                                      copy->duration());
            }
        }
    }
    return tail;
}

} // namespace

void CompositionSound::seek(double seconds) {
    {
        std::lock_guard lock(mutex_);
        if (pending_) composition_ = std::move(pending_);
    }
    held_.clear();
    heldFrom_ = 0;
    reader_.reset();
    tail_.reset();
    if (!composition_ || composition_->tracks(TrackKind::audio).empty()) return;
    try {
        tail_ = std::make_unique<Composition>(soundFrom(*composition_, MediaTime::fromSeconds(std::max(seconds, 0.0))));
        reader_ = std::make_unique<CompositionAudioReader>(*tail_);
    } catch (const MediaError&) {
        reader_.reset(); // unreadable sound plays as silence; the picture goes on
    }
}

int CompositionSound::read(int16_t* interleaved, int frames) {
    int given = 0;
    while (given < frames) {
        if (heldFrom_ >= held_.size()) {
            held_.clear();
            heldFrom_ = 0;
            if (!reader_) break;
            std::optional<AudioChunk> chunk;
            try {
                chunk = reader_->next();
            } catch (const MediaError&) {
                chunk.reset();
            }
            if (!chunk) {
                reader_.reset();
                break;
            }
            held_.assign(chunk->samples, chunk->samples + int64_t(chunk->frameCount) * kAudioChannels);
        }
        const size_t count = std::min(held_.size() - heldFrom_, size_t(frames - given) * kAudioChannels);
        std::copy_n(held_.data() + heldFrom_, count, interleaved + size_t(given) * kAudioChannels);
        heldFrom_ += count;
        given += int(count / kAudioChannels);
    }
    return given;
}

} // namespace vi::media
