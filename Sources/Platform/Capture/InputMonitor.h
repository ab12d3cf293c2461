#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace vi::capture {

class XConnection;

// One press the user made anywhere on the screen.
struct InputEvent {
    enum class Kind { leftDown, rightDown, keyDown, scroll };
    Kind kind = Kind::leftDown;
    double time = 0; // host clock, when the event reached us
};

// Watches clicks, right clicks, key presses and scroll steps of the whole desktop through XInput2 raw
// events, on a connection and thread of its own ("vi.input"). On X11 no permission is needed to see
// other applications' keys. Events aimed at the windows of `ownPids` (the click's window under the
// pointer, the key's focus window) are left out, as our own panels are not part of the recording.
class InputMonitor {
public:
    using Handler = std::function<void(const InputEvent&)>;

    // Throws CaptureError when there is no X server.
    InputMonitor(Handler onEvent, std::vector<std::uint32_t> ownPids, const char* display = nullptr);
    ~InputMonitor();
    InputMonitor(const InputMonitor&) = delete;
    InputMonitor& operator=(const InputMonitor&) = delete;

    // Whether key presses of other applications can be seen: XInput 2.2 is there and took the raw
    // key selection.
    bool seesKeys() const { return seesKeys_; }
    // Whether anything is watched at all (false without XInput 2).
    bool watching() const { return watching_; }

    // Starts the thread; events arrive on it. Stop ends it; after stop() returns no handler runs.
    void start();
    void stop();

private:
    void run();
    void handle(int type, std::uint32_t detail, std::uint32_t flags);

    std::shared_ptr<XConnection> connection_;
    Handler onEvent_;
    std::vector<std::uint32_t> ownPids_;
    std::uint8_t opcode_ = 0;
    bool watching_ = false;
    bool seesKeys_ = false;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace vi::capture
