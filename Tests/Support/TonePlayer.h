#pragma once

#include <string>
#include <sys/types.h>

namespace vi::test {

// Plays a sine tone into a sound server sink (of the private test server) with pacat, in the
// background; the destructor waits for it to end (or ends it).
class TonePlayer {
public:
    TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Waits until the tone has been played to its end.
    void wait();

private:
    std::string file_;
    pid_t child_ = -1;
};

} // namespace vi::test
