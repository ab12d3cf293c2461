#pragma once

#include <stdexcept>
#include <string>

namespace vi::media {

// What went wrong, coarsely: callers map these onto their own error cases.
enum class MediaErrorKind {
    openFailed,      // the file is missing, unreadable, or not a media file we understand
    noVideoTrack,    // a video reader was asked for on a file without video
    noAudioTrack,    // a sound reader was asked for on a file without sound
    readFailed,      // the file opened but its contents could not be read or decoded
    writeFailed,     // the file could not be written or an encoder refused
    invalidArgument, // a caller asked for something impossible (sizes, order of calls, times)
};

// An error of the media layer. `message()` is a finished sentence a person can be shown;
// `reason()` is its short core ("the disk is full"), for callers that frame it in a sentence
// of their own; `detail()` carries the library's own text for the diagnostic log.
class MediaError : public std::runtime_error {
public:
    MediaError(MediaErrorKind kind, std::string reason, std::string detail = {});

    MediaErrorKind kind() const { return kind_; }
    const std::string& message() const { return message_; }
    const std::string& reason() const { return reason_; }
    const std::string& detail() const { return detail_; }

private:
    MediaErrorKind kind_;
    std::string reason_;
    std::string detail_;
    std::string message_;
};

// FFmpeg's text for one of its error codes, e.g. "Invalid data found when processing input".
std::string ffmpegErrorText(int errorCode);

// "<what failed>: <FFmpeg's text> (code)", the usual shape of a detail.
std::string ffmpegDetail(const std::string& step, int errorCode);

} // namespace vi::media
