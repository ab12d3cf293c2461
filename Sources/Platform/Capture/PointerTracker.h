#pragma once

#include <memory>
#include <optional>

namespace vi::capture {

class XConnection;

// Where the pointer is, in root-window pixels, read on demand (the input log samples it 60 times a
// second). One round trip to the X server, on a connection of its own.
class PointerTracker {
public:
    struct Position {
        int x = 0;
        int y = 0;
    };

    // Throws CaptureError when there is no X server.
    explicit PointerTracker(const char* display = nullptr);
    ~PointerTracker();
    PointerTracker(const PointerTracker&) = delete;
    PointerTracker& operator=(const PointerTracker&) = delete;

    // nullopt when the pointer is on another screen or the server is gone.
    std::optional<Position> position() const;

private:
    std::unique_ptr<XConnection> connection_;
};

} // namespace vi::capture
