#pragma once

namespace vi::media {

// The one sound format of the system: what readers deliver and writers take, as 16-bit signed
// samples, interleaved left, right.
inline constexpr int kAudioSampleRate = 48000;
inline constexpr int kAudioChannels = 2;

} // namespace vi::media
