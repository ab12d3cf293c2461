#include "Support/TonePlayer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace vi::test {

namespace {
constexpr int rate = 48'000;
}

TonePlayer::TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds) {
    char name[] = "/tmp/vi-tone-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("cannot make the tone file");
    close(fd);
    file_ = name;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
    }
    std::ofstream(file_, std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(float)));
    const std::string device = "--device=" + sink;
    child_ = fork();
    if (child_ == 0) {
        execlp("pacat", "pacat", "--playback", device.c_str(), "--format=float32le", "--rate=48000",
               "--channels=2", "--latency-msec=20", file_.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child_ < 0) throw std::runtime_error("cannot start pacat");
}

void TonePlayer::wait() {
    if (child_ <= 0) return;
    int status = 0;
    waitpid(child_, &status, 0);
    child_ = -1;
}

TonePlayer::~TonePlayer() {
    if (child_ > 0) {
        kill(child_, SIGTERM);
        wait();
    }
    std::remove(file_.c_str());
}

} // namespace vi::test
