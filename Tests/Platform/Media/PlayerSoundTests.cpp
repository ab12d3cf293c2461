#include "Platform/Capture/AudioCapture.h"
#include "Platform/Capture/AudioDevices.h"
#include "Platform/Media/Composition.h"
#include "Platform/Media/Player.h"
#include "Support/RecordingSink.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

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
