#pragma once

#include "Platform/Media/Composition.h"
#include "Platform/Media/CompositionAudioReader.h"
#include "Platform/Media/SoundSource.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vi::media {

// The mixed sound of a composition as a player's sound source. The composition may be swapped
// from another thread; the sound thread takes the new one at its next seek.
class CompositionSound final : public SoundSource {
public:
    explicit CompositionSound(std::shared_ptr<const Composition> composition);

    // From any thread: used from the next seek on.
    void replace(std::shared_ptr<const Composition> composition);

    void seek(double seconds) override;
    int read(int16_t* interleaved, int frames) override;

private:
    std::mutex mutex_;
    std::shared_ptr<const Composition> pending_; // guarded by mutex_

    // The sound thread's own.
    std::shared_ptr<const Composition> composition_;
    std::unique_ptr<Composition> tail_; // the sound from the last seek on
    std::unique_ptr<CompositionAudioReader> reader_;
    std::vector<int16_t> held_; // read but not yet handed out
    size_t heldFrom_ = 0;       // in samples
};

} // namespace vi::media
