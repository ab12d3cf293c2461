#pragma once

#include <exception>
#include <string>

namespace vi {

// The core library's one error: each carries a finished sentence for the user.
class RecordError : public std::exception {
public:
    enum class Kind { writeFailed, noVideoTrack, readFailed };

    static RecordError writeFailed(std::string message);
    static RecordError noVideoTrack();
    static RecordError readFailed();

    Kind kind() const { return kind_; }
    // The message of a failed write (empty for the other kinds).
    const std::string& message() const { return message_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    RecordError(Kind kind, std::string message);

    Kind kind_;
    std::string message_;
    std::string description_;
};

} // namespace vi
