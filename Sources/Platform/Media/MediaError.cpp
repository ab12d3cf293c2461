#include "Platform/Media/MediaError.h"

extern "C" {
#include <libavutil/error.h>
}

namespace vi::media {

namespace {

std::string sentenceFor(MediaErrorKind kind, const std::string& reason)
{
    switch (kind) {
    case MediaErrorKind::openFailed: return "Could not open the file: " + reason + ".";
    case MediaErrorKind::noVideoTrack: return "The file has no video track.";
    case MediaErrorKind::noAudioTrack: return "The file has no sound track.";
    case MediaErrorKind::readFailed: return "Could not read the video: " + reason + ".";
    case MediaErrorKind::writeFailed: return "Could not write the video: " + reason + ".";
    case MediaErrorKind::invalidArgument: break;
    }
    std::string sentence = reason;
    if (!sentence.empty() && sentence.front() >= 'a' && sentence.front() <= 'z')
        sentence.front() = static_cast<char>(sentence.front() - 'a' + 'A');
    return sentence + ".";
}

} // namespace

MediaError::MediaError(MediaErrorKind kind, std::string reason, std::string detail)
    : std::runtime_error(sentenceFor(kind, reason))
    , kind_(kind)
    , reason_(std::move(reason))
    , detail_(std::move(detail))
    , message_(std::runtime_error::what())
{
}

std::string ffmpegErrorText(int errorCode)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return text;
}

std::string ffmpegDetail(const std::string& step, int errorCode)
{
    return step + ": " + ffmpegErrorText(errorCode) + " (" + std::to_string(errorCode) + ")";
}

} // namespace vi::media
