#pragma once

#include "Platform/Media/PixelBuffer.h"
#include "Platform/Media/WriterSettings.h"
#include "Support/SyntheticSound.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace vi::test {

// A synthetic screen recording: a still background (a dark desktop with a lighter window) and an
// orange square that sits still until `motionStart`, then moves right and bounces; every frame
// carries its index as a FrameBarcode. Made through the real writer, in the test run.
struct RecordingSpec {
    int width = 320;
    int height = 180;
    double fps = 30;          // declared rate, and the spacing of frames unless frameTimes is given
    double duration = 2;      // seconds; the session ends here
    double motionStart = 1;   // seconds
    int rotation = 0;         // clockwise display rotation stored in the file
    media::VideoCodec codec = media::VideoCodec::h264;
    int64_t bitRate = 1'000'000;
    std::vector<SoundSpec> sounds{}; // one sound track each, in this order
    std::vector<double> frameTimes{}; // explicit frame times (a variable frame rate), seconds
    bool fragmented = false;
    double sessionStart = 0;  // the writer's session start on the made-up capture clock
    double keyFrameInterval = 2; // seconds between key frames at most
};

struct SyntheticRecording {
    std::filesystem::path path;
    std::vector<double> frameTimes; // file times of the frames written, in order (index = position)
};

SyntheticRecording makeRecording(const std::filesystem::path& path, const RecordingSpec& spec);

// A file with sound tracks only.
std::filesystem::path makeAudioOnlyFile(const std::filesystem::path& path, const std::vector<SoundSpec>& sounds,
                                        double duration);

// A camera-like clip: H.264 at 3 Mbit/s, no sound, a face-coloured disc swaying on a plain wall,
// with frame barcodes.
SyntheticRecording makeCameraClip(const std::filesystem::path& path, double duration = 2, int width = 320,
                                  int height = 180, double fps = 30);

// Draws frame `index` at time `t` of `spec` into a BGRA picture of that recording's size.
void drawRecordingFrame(const media::PixelBuffer& bgra, const RecordingSpec& spec, int index, double t);

// Where the square's left edge is at time `t` (pixels), for tests that look for motion.
int squareLeft(const RecordingSpec& spec, double t);

} // namespace vi::test
