#include "Platform/Capture/AudioCapture.h"
#include "Platform/Capture/AudioDevices.h"
#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"
#include "Support/TonePlayer.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <vector>

using namespace vi::capture;
using namespace std::chrono_literals;

namespace {

// Everything a capture delivered: the first channel's samples and each chunk's stamp.
class Recorded {
public:
    AudioCapture::Delegate delegate() {
        return {[this](const AudioChunk& chunk) {
                    std::lock_guard lock(mutex_);
                    stamps_.push_back({chunk.time, chunk.frames});
                    for (int i = 0; i < chunk.frames; ++i) {
                        const float sample = chunk.samples[i * chunk.channels];
                        if (onset_ < 0 && std::abs(sample) > 0.1f) onset_ = chunk.time + i / double(AudioCapture::sampleRate);
                        left_.push_back(sample);
                    }
                },
                {}};
    }
    struct Stamp {
        double time;
        int frames;
    };
    std::vector<Stamp> stamps() {
        std::lock_guard lock(mutex_);
        return stamps_;
    }
    // Host time of the first loud sample; negative when none came.
    double onset() {
        std::lock_guard lock(mutex_);
        return onset_;
    }
    std::vector<float> left() {
        std::lock_guard lock(mutex_);
        return left_;
    }
    // Root mean square of the loudest 100 ms window.
    double loudestLevel() {
        const auto samples = left();
        constexpr std::size_t window = 4800;
        double best = 0;
        for (std::size_t start = 0; start + window <= samples.size(); start += window / 2) {
            double sum = 0;
            for (std::size_t i = start; i < start + window; ++i) sum += double(samples[i]) * samples[i];
            best = std::max(best, std::sqrt(sum / window));
        }
        return best;
    }

private:
    std::mutex mutex_;
    std::vector<Stamp> stamps_;
    std::vector<float> left_;
    double onset_ = -1;
};

} // namespace

TEST(AudioDevices, ListsMicrophonesButNotMonitorsWithTheDefault) {
    const auto sources = listAudioSources();
    auto has = [&](const std::string& id) {
        return std::any_of(sources.microphones.begin(), sources.microphones.end(),
                           [&](const auto& s) { return s.id == id; });
    };
    EXPECT_TRUE(has("vi_mic"));
    EXPECT_TRUE(has("vi_silence"));
    EXPECT_FALSE(has("vi_speakers.monitor"));
    EXPECT_EQ(sources.defaultMicrophone, "vi_mic");
    for (const auto& s : sources.microphones) EXPECT_FALSE(s.description.empty()) << s.id;
}

TEST(AudioCapture, RecordsAMicrophoneAndTheSystemSoundAsContinuousStampedStreams) {
    struct Case {
        const char* source;
        const char* sink; // where the tone is played
    };
    const Case cases[] = {{"", "vi_mic_feed"}, {systemSoundSource, "vi_speakers"}};
    for (const auto& c : cases) {
        Recorded recorded;
        AudioCapture capture(c.source, recorded.delegate());
        const double started = HostClock::now();
        capture.start();
        // A null sink's monitor starts delivering only after a moment.
        ASSERT_TRUE(vi::test::waitUntil([&] { return !recorded.stamps().empty(); }, 5s)) << c.sink;
        double played = 0;
        {
            vi::test::TonePlayer tone(c.sink, 1000, 0.5, 1.0);
            tone.wait();
            played = tone.startedAt();
        }
        std::this_thread::sleep_for(200ms);
        capture.stop();
        const auto stamps = recorded.stamps();
        capture.stop(); // twice is harmless
        EXPECT_EQ(recorded.stamps().size(), stamps.size()) << "nothing arrives after stop";

        EXPECT_GE(stamps.front().time, started - 0.05) << c.sink;
        // Chunks follow each other without overlap; the server may leave a gap when it changes its
        // latency (the stamps then jump forward, so sound stays where it was captured).
        for (std::size_t i = 1; i < stamps.size(); ++i) {
            const double end = stamps[i - 1].time + stamps[i - 1].frames / double(AudioCapture::sampleRate);
            ASSERT_GE(stamps[i].time, end - 0.003) << c.sink << " chunk " << i;
        }
        // The tone is stamped when it was played.
        EXPECT_NEAR(recorded.onset(), played, 0.03) << c.sink;
        // A 0.5 sine has a level of 0.354.
        EXPECT_NEAR(recorded.loudestLevel(), 0.3536, 0.02) << c.sink;
    }
}

TEST(AudioCapture, ASilentSourceGivesSilenceAndAMissingOneAClearError) {
    Recorded recorded;
    AudioCapture silence("vi_silence", recorded.delegate());
    silence.start();
    ASSERT_TRUE(vi::test::waitUntil([&] { return recorded.left().size() > 4800; }, 5s));
    silence.stop();
    EXPECT_EQ(recorded.loudestLevel(), 0.0);

    AudioCapture missing("vi_no_such_microphone", {});
    try {
        missing.start();
        FAIL() << "a missing source must not start";
    } catch (const CaptureError& error) {
        EXPECT_NE(std::string(error.what()).find("vi_no_such_microphone"), std::string::npos) << error.what();
    }
    missing.stop();
}
