#pragma once

#include "Platform/Media/MediaTime.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vi::media {

enum class TrackKind { video, audio };

// What a file says about one of its tracks.
struct TrackInfo {
    TrackKind kind = TrackKind::video;
    int streamIndex = 0;   // FFmpeg's stream number, the track's place among all tracks
    std::string codec;     // FFmpeg's codec name, e.g. "h264", "hevc", "aac"
    MediaTime duration;    // from the file's start to the end of this track

    // Video tracks: the stored picture, the clockwise quarter turns that make it upright (0, 90,
    // 180 or 270 degrees) and the upright size (stored size with width and height swapped for a
    // quarter turn). Readers hand out stored pictures; whoever draws them applies the rotation.
    int codedWidth = 0;
    int codedHeight = 0;
    int rotation = 0;
    int uprightWidth = 0;
    int uprightHeight = 0;
    // The frame rate the writer declared, not the average of the frames present: a recording of a
    // still screen holds few frames. Our writer stores it in the file's metadata under
    // "com.vavodidiriz.nominal-frame-rate.<stream index>"; files from elsewhere fall back to
    // FFmpeg's avg_frame_rate (frames over duration), then r_frame_rate; 0 when none is known.
    double nominalFrameRate = 0;

    // Sound tracks: as stored (readers convert to 48 kHz stereo).
    int sampleRate = 0;
    int channels = 0;
};

// An opened media file: its tracks in file order and its duration. Times everywhere in the
// media layer are relative to the file's start, so a recording's first frame is at 0.
// An Asset is a description; readers open the file again for themselves.
class Asset {
public:
    // Throws MediaError: openFailed for a missing, unreadable, non-media or empty file.
    static Asset open(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return path_; }
    const std::vector<TrackInfo>& tracks() const { return tracks_; }
    std::vector<TrackInfo> videoTracks() const;
    std::vector<TrackInfo> audioTracks() const;
    bool hasVideo() const;
    bool hasAudio() const;

    MediaTime duration() const { return duration_; }
    double durationSeconds() const { return duration_.seconds(); }

    // The file's own start time, subtracted from every time read from it.
    MediaTime startOffset() const { return startOffset_; }

private:
    std::filesystem::path path_;
    std::vector<TrackInfo> tracks_;
    MediaTime duration_;
    MediaTime startOffset_;
};

// The metadata key under which the writer declares a video track's frame rate.
std::string nominalFrameRateKey(int streamIndex);

} // namespace vi::media
