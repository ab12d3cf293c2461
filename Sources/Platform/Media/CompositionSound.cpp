#include "Platform/Media/CompositionSound.h"

#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>
#include <cmath>

namespace vi::media {

CompositionSound::CompositionSound(std::shared_ptr<const Composition> composition)
    : pending_(std::move(composition)) {}

void CompositionSound::replace(std::shared_ptr<const Composition> composition) {
    std::lock_guard lock(mutex_);
    pending_ = std::move(composition);
}

void CompositionSound::seek(double seconds) {
    {
        std::lock_guard lock(mutex_);
        if (pending_) composition_ = std::move(pending_);
    }
    held_.clear();
    heldFrom_ = 0;
    reader_.reset();
    if (!composition_ || composition_->tracks(TrackKind::audio).empty()) return;
    try {
        reader_ = std::make_unique<CompositionAudioReader>(*composition_);
        // The reader runs from the start: the sound before the time is read and passed over.
        const int64_t target = std::llround(std::max(seconds, 0.0) * kAudioSampleRate);
        while (auto chunk = reader_->next()) {
            const int64_t start = chunk->time.convertedTo(kAudioSampleRate).value;
            if (start + chunk->frameCount <= target) continue;
            const int64_t skip = std::max<int64_t>(0, target - start);
            held_.assign(chunk->samples + skip * kAudioChannels,
                         chunk->samples + int64_t(chunk->frameCount) * kAudioChannels);
            break;
        }
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
