#include "Platform/Capture/AudioCapture.h"
#include "Platform/Capture/AudioDevices.h"
#include "Platform/Capture/HostClock.h"
#include "Platform/Media/Composition.h"
#include "Platform/Media/Player.h"
#include "Support/FrameBarcode.h"
#include "Support/HeardOnsets.h"
#include "Support/RecordingSink.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace vi::media;
using namespace std::chrono_literals;
using vi::test::RecordingSink;

namespace {

MediaTime sec(double seconds) { return MediaTime::fromSeconds(seconds); }

// The recording's picture and (when it has any) its sound, played at 1x for `seconds`.
std::shared_ptr<const Composition> straight(const std::filesystem::path& file, double seconds, int* videoTrack) {
    const Asset asset = Asset::open(file);
    auto composition = std::make_shared<Composition>();
    CompositionTrack* video = composition->addMutableTrack(TrackKind::video);
    video->insertTimeRange({sec(0), sec(seconds)}, asset, 0, sec(0));
    *videoTrack = video->trackID();
    for (int k = 0; k < int(asset.audioTracks().size()); ++k)
        composition->addMutableTrack(TrackKind::audio)->insertTimeRange({sec(0), sec(seconds)}, asset, k, sec(0));
    return composition;
}

VideoComposition passThrough(int track) {
    VideoComposition video;
    video.renderWidth = 320;
    video.renderHeight = 180;
    video.requiredTrackIDs = {track};
    video.compose = [track](VideoCompositionRequest& request) {
        return request.frame(track) ? *request.frame(track) : PixelBuffer();
    };
    return video;
}

bool playToEnd(Player& player, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (player.isPlaying() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
    return !player.isPlaying();
}

double hostSeconds(std::chrono::steady_clock::time_point time) {
    // The steady clock is the monotonic clock the sound capture stamps with.
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

} // namespace

TEST(PlayerSound, SoundIsTheClockAndFramesFollowItAcrossSeeksAndRateChanges) {
    vi::test::TempDir folder;
    vi::test::RecordingSpec spec;
    spec.duration = 3;
    spec.sounds = {vi::test::SoundSpec::clicks(0.25, 0)};
    const auto recording = vi::test::makeRecording(folder.path() / "clicks.mp4", spec);
    int track = 0;
    const auto composition = straight(recording.path, 3, &track);

    // What the speakers play, so the test knows sound really went out.
    std::mutex mutex;
    float loudest = 0;
    vi::capture::AudioCapture capture(vi::capture::systemSoundSource,
                                      {[&](const vi::capture::AudioChunk& chunk) {
                                           std::lock_guard lock(mutex);
                                           for (int i = 0; i < chunk.frames * chunk.channels; ++i)
                                               loudest = std::max(loudest, std::abs(chunk.samples[i]));
                                       },
                                       {}});
    capture.start();

    RecordingSink sink;
    Player player(sink);
    player.replaceItem(composition, passThrough(track));
    ASSERT_TRUE(player.playsSound());
    ASSERT_TRUE(sink.waitFor(1, 5s));
    player.play();
    std::this_thread::sleep_for(600ms);
    player.seek(1.5);
    std::this_thread::sleep_for(300ms);
    player.setRate(2);
    EXPECT_EQ(player.rate(), 2);
    ASSERT_TRUE(playToEnd(player, 20s)) << "the end is reached with sound as the clock";
    capture.stop();
    EXPECT_EQ(player.currentTime(), player.duration());

    std::lock_guard lock(mutex);
    EXPECT_GT(loudest, 0.2f) << "the clicks were played";
    // The test server's output wakes up slowly, and the picture waits for the sound meanwhile.
    EXPECT_GT(sink.count(), 10u);
}

TEST(PlayerSound, AnItemWithoutSoundPlaysOnTheSystemClockWithoutStalling) {
    vi::test::TempDir folder;
    vi::test::RecordingSpec spec;
    spec.duration = 1;
    const auto recording = vi::test::makeRecording(folder.path() / "silent.mp4", spec);
    int track = 0;
    const auto composition = straight(recording.path, 1, &track);
    RecordingSink sink;
    Player player(sink);
    player.replaceItem(composition, passThrough(track));
    EXPECT_FALSE(player.playsSound());
    ASSERT_TRUE(sink.waitFor(1, 5s));
    const auto start = std::chrono::steady_clock::now();
    player.play();
    ASSERT_TRUE(playToEnd(player, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

// Every frame carries its barcode and the sound clicks at every quarter second: where a click
// is heard, the picture on screen must be the frame of that moment, within one frame, after
// seeks and rate changes.
TEST(PlayerSound, PictureAndSoundStayWithinAFrameAfterSeeksAndRateChanges) {
    constexpr double kClickEvery = 0.25;
    constexpr double kFps = 60;
    constexpr double kFrame = 1 / kFps;
    vi::test::TempDir folder;
    vi::test::RecordingSpec spec;
    spec.duration = 4;
    spec.fps = kFps;
    spec.sounds = {vi::test::SoundSpec::clicks(kClickEvery, 0)};
    const auto recording = vi::test::makeRecording(folder.path() / "clicks.mp4", spec);
    int track = 0;
    const auto composition = straight(recording.path, 4, &track);

    vi::test::HeardOnsets heard;
    vi::capture::AudioCapture capture(vi::capture::systemSoundSource, heard.delegate());
    capture.start();
    RecordingSink sink;
    Player player(sink);
    player.replaceItem(composition, passThrough(track));
    ASSERT_TRUE(player.playsSound());
    ASSERT_TRUE(sink.waitFor(1, 5s));
    player.play();
    // The test server's output wakes up slowly the first time; the clock waits for it.
    const auto wakeDeadline = std::chrono::steady_clock::now() + 10s;
    while (player.currentTime() < 0.3 && std::chrono::steady_clock::now() < wakeDeadline) std::this_thread::sleep_for(5ms);
    ASSERT_GE(player.currentTime(), 0.3) << "the sound never started";

    // Changes, and from when on what is heard and seen counts (after a change settles).
    std::vector<double> settledFrom;
    std::vector<double> rates;
    auto change = [&](const std::function<void()>& what, std::chrono::milliseconds playFor) {
        what();
        settledFrom.push_back(vi::capture::HostClock::now() + 0.15);
        rates.push_back(player.rate());
        std::this_thread::sleep_for(playFor);
    };
    change([&] { player.seek(0.6); }, 700ms);
    change([&] { player.setRate(2); }, 500ms);
    change([&] { player.seek(1.2); }, 600ms);
    change([&] { player.setRate(0.5); }, 600ms);
    change([&] {
        player.setRate(1);
        player.seek(3.0);
    }, 600ms);
    const double until = vi::capture::HostClock::now();
    player.pause();
    capture.stop();

    const auto frames = sink.frames();
    int checked = 0;
    for (const double onset : heard.onsets()) {
        const auto stretch = std::upper_bound(settledFrom.begin(), settledFrom.end(), onset);
        if (stretch == settledFrom.begin() || onset > until) continue;
        const auto next = stretch == settledFrom.end() ? until : *stretch - 0.15;
        if (onset > next - 0.02) continue; // the next change was under way
        // The frame on screen when the click was heard: the last presented before it.
        const RecordingSink::Shown* onScreen = nullptr;
        for (const auto& frame : frames)
            if (hostSeconds(frame.arrived) <= onset) onScreen = &frame;
        ASSERT_NE(onScreen, nullptr);
        // A frame shown long before was followed by dropped ones: no evidence either way.
        if (onset - hostSeconds(onScreen->arrived) > 2 * kFrame) continue;
        const auto code = vi::test::FrameBarcode::read(onScreen->picture.view());
        ASSERT_TRUE(code.has_value());
        const double pictureTime = *code / kFps;
        const double click = std::round(pictureTime / kClickEvery) * kClickEvery;
        // One frame either of output (the picture changes a frame at a time) or of what the
        // viewer sees for (sped up, a frame of wall time spans several output frames).
        const double rate = rates[size_t(stretch - settledFrom.begin()) - 1];
        EXPECT_LE(std::abs(pictureTime - click), std::max(1.0, rate) * (kFrame + 0.002))
            << "click at " << click << " heard while the frame of " << pictureTime << " was on screen, rate " << rate;
        ++checked;
    }
    EXPECT_GE(checked, 6) << "clicks heard with a frame just shown";
}
