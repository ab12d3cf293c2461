#pragma once

#include <stdexcept>
#include <string>

namespace vi::capture {

// A capture facility that cannot be used: no X server, a missing extension, a sound server
// that refuses a stream, a camera that cannot be opened. The message is for the diagnostic log.
class CaptureError : public std::runtime_error {
public:
    explicit CaptureError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace vi::capture
