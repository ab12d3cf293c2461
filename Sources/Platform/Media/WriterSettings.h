#pragma once

#include <cstdint>
#include <string>

namespace vi::media {

enum class VideoCodec { h264, hevc };

// One video track of a written file. Frames are encoded as 8-bit 4:2:0, tagged BT.709 (primaries,
// transfer and matrix) in limited range, and converted to that from whatever is appended.
struct VideoTrackSettings {
    VideoCodec codec = VideoCodec::h264; // H.264 is written in the High profile
    int width = 0;                       // even, positive
    int height = 0;
    int64_t averageBitRate = 0;          // bits a second; 0 leaves the encoder's own rate control
    double expectedFrameRate = 60;       // the declared (nominal) rate; frames may still come at any times
    int maxKeyFrameInterval = 0;         // in frames; 0 leaves the encoder's default
    int rotation = 0;                    // clockwise degrees a player turns the picture (0, 90, 180, 270)
    // The encoder's speed preset; empty picks one that keeps up with 1080p60 on a few cores
    // ("veryfast" for H.264, "superfast" for HEVC).
    std::string preset{};
};

// One sound track: always AAC, 48 kHz, stereo, fed 16-bit interleaved samples.
struct AudioTrackSettings {
    int64_t bitRate = 192000;
};

struct WriterOptions {
    // Fragmented MP4: the file is written as a header and self-contained fragments, so a process
    // killed mid-write leaves a file that plays up to its last complete fragment. Without it
    // the file is written under a temporary name and renamed into place when finished.
    bool fragmented = false;
    // How much media one fragment holds at most (seconds).
    double fragmentSeconds = 0.5;
};

} // namespace vi::media
