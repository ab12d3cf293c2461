#pragma once

#include <cstdint>
#include <span>

namespace vi::test {

// A sound a fixture track carries: a steady sine tone, or short clicks at a fixed interval.
// Both channels carry the same signal.
struct SoundSpec {
    enum class Kind { tone, clicks };
    Kind kind = Kind::tone;
    double frequency = 440;    // Hz, of the tone and of each click's burst
    double amplitude = 0.5;    // of full scale
    double clickEvery = 0.5;   // seconds between click starts (clicks only)
    double clickOffset = 0.25; // seconds to the first click
    double clickLength = 0.01; // seconds of each click

    static SoundSpec tone(double frequency, double amplitude = 0.5);
    static SoundSpec clicks(double every, double offset = 0.25);
};

// Fills interleaved stereo samples at 48 kHz for the frames that start at `firstFrame`.
void synthesize(const SoundSpec& sound, int64_t firstFrame, std::span<int16_t> interleaved);

} // namespace vi::test
