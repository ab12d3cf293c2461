#include "RecordCore/RecordError.h"

#include <utility>

namespace vi {

RecordError::RecordError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {
    switch (kind_) {
    case Kind::writeFailed: description_ = "Could not write the video: " + message_; break;
    case Kind::noVideoTrack: description_ = "The file has no video track."; break;
    case Kind::readFailed: description_ = "Could not read the video."; break;
    }
}

RecordError RecordError::writeFailed(std::string message) { return {Kind::writeFailed, std::move(message)}; }
RecordError RecordError::noVideoTrack() { return {Kind::noVideoTrack, {}}; }
RecordError RecordError::readFailed() { return {Kind::readFailed, {}}; }

} // namespace vi
