#pragma once

#include <string>
#include <vector>

namespace vi::capture {

// A sound input of the sound server.
struct AudioSourceInfo {
    std::string id;          // the server's unique name, what a recording is told to use
    std::string description; // what a person reads
    bool isMonitor = false;  // the monitor of an output (what it plays), not a microphone
};

// The name that records what the default output plays: the system sound.
inline constexpr const char* systemSoundSource = "@DEFAULT_MONITOR@";

struct AudioSources {
    std::vector<AudioSourceInfo> microphones; // inputs that are not monitors, in the server's order
    std::string defaultMicrophone;            // id of the default input; empty when it is a monitor or none
};

// Asks the sound server. Throws CaptureError when there is no server.
AudioSources listAudioSources();

} // namespace vi::capture
