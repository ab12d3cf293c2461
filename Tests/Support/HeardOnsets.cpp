#include "Support/HeardOnsets.h"

#include <cmath>

namespace vi::test {

capture::AudioCapture::Delegate HeardOnsets::delegate() {
    return {[this](const capture::AudioChunk& chunk) {
                std::lock_guard lock(mutex_);
                for (int i = 0; i < chunk.frames; ++i) {
                    const bool loud = std::abs(chunk.samples[i * chunk.channels]) > kLoud;
                    if (loud && quiet_ >= kQuietBefore)
                        onsets_.push_back(chunk.time + i / double(capture::AudioCapture::sampleRate));
                    quiet_ = loud ? 0 : quiet_ + 1;
                }
            },
            {}};
}

std::vector<double> HeardOnsets::onsets() const {
    std::lock_guard lock(mutex_);
    return onsets_;
}

} // namespace vi::test
