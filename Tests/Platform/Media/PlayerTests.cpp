#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/Composition.h"
#include "Platform/Media/CompositionSound.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/TrackFeed.h"
#include "Support/FrameBarcode.h"
#include "Support/RecordingSink.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"
#include "Support/GuiEvents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using namespace vi::media;
using namespace std::chrono_literals;
using vi::test::RecordingSink;

namespace {

constexpr double kSourceFps = 30;

MediaTime sec(double seconds) { return MediaTime::fromSeconds(seconds); }

// A 4 s barcoded recording laid out as: source [0, 1) at 1x, a cut, then source [2, 4) at 4x.
struct CutAndSpeedUp {
    std::filesystem::path path;
    std::shared_ptr<const Composition> composition;
    int videoTrack = 0;

    explicit CutAndSpeedUp(const std::filesystem::path& folder, std::vector<vi::test::SoundSpec> sounds = {}) {
        vi::test::RecordingSpec spec;
        spec.duration = 4;
        spec.fps = kSourceFps;
        spec.sounds = std::move(sounds);
        path = vi::test::makeRecording(folder / "recording.mp4", spec).path;
        composition = layOut(Asset::open(path), &videoTrack);
    }

    static std::shared_ptr<const Composition> layOut(const Asset& asset, int* videoTrack) {
        auto made = std::make_shared<Composition>();
        CompositionTrack* video = made->addMutableTrack(TrackKind::video);
        video->insertTimeRange({sec(0), sec(1)}, asset, 0, sec(0));
        video->insertTimeRange({sec(2), sec(2)}, asset, 0, sec(1));
        video->scaleTimeRange({sec(1), sec(2)}, sec(0.5));
        *videoTrack = video->trackID();
        return made;
    }

    // The source frame shown at an output time: the last at or before the source time there.
    static int sourceFrameAt(double output) {
        const double source = output < 1 ? output : 2 + (output - 1) * 4;
        return std::min(int(std::floor(source * kSourceFps + 1e-4)), int(4 * kSourceFps) - 1);
    }
};

// Shows the recording's frame as it is (the render size is the recording's).
VideoComposition copyingComposition(int trackID, std::atomic<int>* made = nullptr) {
    VideoComposition video;
    video.renderWidth = 320;
    video.renderHeight = 180;
    video.requiredTrackIDs = {trackID};
    video.compose = [trackID, made](VideoCompositionRequest& request) -> PixelBuffer {
        const PixelBuffer* source = request.frame(trackID);
        if (!source) return {};
        for (int y = 0; y < 180; ++y)
            std::memcpy(request.destination.data() + y * request.destination.stride(), source->data() + y * source->stride(),
                        320 * 4);
        if (made) ++*made;
        return request.destination;
    };
    return video;
}

int barcodeOf(const PixelBuffer& picture) { return vi::test::FrameBarcode::read(picture.view()).value_or(-1); }

PlayerOptions silent() {
    PlayerOptions options;
    options.sound = false;
    return options;
}

using vi::test::spin;

} // namespace

TEST(Player, PausedSeeksAcrossCutsAndSpeedUpsShowTheSourceFrameAtOrBeforeTheTime) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    RecordingSink sink;
    Player player(sink, silent());
    player.replaceItem(item.composition, copyingComposition(item.videoTrack));
    EXPECT_NEAR(player.duration(), 1.5, 1e-6);
    ASSERT_TRUE(sink.waitFor(1, 5s)) << "the first frame is shown while paused";
    EXPECT_EQ(barcodeOf(sink.last()->picture), 0);

    // Backwards and forwards, into the sped-up stretch and back before the cut.
    const double times[] = {0.5, 1.0, 1.26, 0.99, 1.49, 0.0, 1.2, 1.5};
    for (const double t : times) {
        const size_t before = sink.count();
        player.seek(t);
        ASSERT_TRUE(sink.waitFor(before + 1, 5s)) << t;
        const double shownAt = std::floor(std::min(t, 1.5 - 1.0 / 60) * 60 + 1e-6) / 60;
        EXPECT_NEAR(sink.last()->time, shownAt, 1e-6) << t;
        EXPECT_EQ(barcodeOf(sink.last()->picture), CutAndSpeedUp::sourceFrameAt(shownAt)) << t;
        EXPECT_EQ(player.currentTime(), t);
    }
}

TEST(Player, SeeksInQuickSuccessionWhilePausedEndOnTheNewestOnesFrame) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    RecordingSink sink;
    Player player(sink, silent());
    player.replaceItem(item.composition, copyingComposition(item.videoTrack));
    ASSERT_TRUE(sink.waitFor(1, 5s));
    // Scrubbing: each seek makes the one before unwanted, mid-read or not. Every group ends on
    // its last seek's frame, and the reads cut short leave the reader able to go on from there.
    const std::vector<std::vector<double>> groups = {{1.45, 0.2, 1.3, 0.9, 1.1, 0.3}, {0.95, 1.4, 0.45}, {0.6, 0.4}};
    for (const auto& group : groups) {
        for (const double t : group) player.seek(t);
        const double shownAt = std::floor(group.back() * 60 + 1e-6) / 60;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline && std::abs(sink.last()->time - shownAt) > 1e-6)
            std::this_thread::sleep_for(2ms);
        ASSERT_NEAR(sink.last()->time, shownAt, 1e-6) << group.back();
        EXPECT_EQ(barcodeOf(sink.last()->picture), CutAndSpeedUp::sourceFrameAt(shownAt)) << group.back();
    }
}

TEST(TrackFeed, ARequestLeftOverFromBeforeARestartLeavesTheNewReadingAlone) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    TrackFeed feed(item.composition, item.videoTrack, 60, 4);
    const uint64_t before = feed.generation();
    feed.restart(24);
    // A worker that picked frame 36 before the seek asks only now: it must not pull the
    // reading past frame 24, which the seek wants.
    EXPECT_FALSE(feed.frame(36, before).has_value());
    const auto frame = feed.frame(24, feed.generation());
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(barcodeOf(frame->picture), CutAndSpeedUp::sourceFrameAt(24.0 / 60));
}

TEST(Player, PlaysToTheEndOnTheSystemClockShowingTheRightFramesAndTellsTheGuiThread) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    RecordingSink sink;
    Player player(sink, silent());
    player.replaceItem(item.composition, copyingComposition(item.videoTrack));
    ASSERT_TRUE(sink.waitFor(1, 5s));
    sink.clear();
    const auto shownWhilePaused = player.counts();
    int ends = 0;
    int ticks = 0;
    double lastTick = -1;
    player.addEndObserver([&] {
        ++ends;
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    });
    player.addPeriodicTimeObserver([&](double seconds) {
        ++ticks;
        lastTick = seconds;
    });
    EXPECT_FALSE(player.playsSound());
    player.play();
    EXPECT_TRUE(player.isPlaying());
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ends == 0 && std::chrono::steady_clock::now() < deadline) spin(10ms);
    spin(50ms);
    ASSERT_EQ(ends, 1);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.currentTime(), player.duration());
    EXPECT_GE(ticks, 10) << "about 30 a second over 1.5 s";
    EXPECT_EQ(lastTick, player.duration());

    const auto frames = sink.frames();
    const auto counts = player.counts();
    EXPECT_EQ(counts.presented + counts.dropped - shownWhilePaused.presented, 90) << "every output frame had its turn";
    EXPECT_EQ(counts.failed, 0);
    EXPECT_GE(frames.size(), 45u) << "a loaded machine may drop some, not most";
    for (const auto& frame : frames)
        EXPECT_EQ(barcodeOf(frame.picture), CutAndSpeedUp::sourceFrameAt(frame.time)) << frame.time;
}

TEST(Player, ARenderSizeChangeWhilePausedRemakesTheShownFrameAtTheNewSize) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    RecordingSink sink;
    Player player(sink, silent());
    player.replaceItem(item.composition, copyingComposition(item.videoTrack));
    ASSERT_TRUE(sink.waitFor(1, 5s));
    player.seek(0.7);
    ASSERT_TRUE(sink.waitFor(2, 5s));
    VideoComposition portrait = copyingComposition(item.videoTrack);
    portrait.renderWidth = 180;
    portrait.renderHeight = 320;
    portrait.compose = [track = item.videoTrack](VideoCompositionRequest& request) -> PixelBuffer {
        if (!request.frame(track)) return {};
        std::memset(request.destination.data(), 0x80, size_t(request.destination.stride()) * 320);
        return request.destination;
    };
    const size_t before = sink.count();
    player.setVideoComposition(std::move(portrait));
    ASSERT_TRUE(sink.waitFor(before + 1, 5s));
    EXPECT_EQ(sink.last()->picture.width(), 180);
    EXPECT_EQ(sink.last()->picture.height(), 320);
    EXPECT_NEAR(sink.last()->time, 42 / 60.0, 1e-6);
}

TEST(Player, ReplacingTheItemKeepsTheOpenDecodersAlsoWhenAnEditChangedTheTiming) {
    vi::test::TempDir folder;
    const CutAndSpeedUp item(folder.path());
    int track = 0;
    const auto sameLayout = CutAndSpeedUp::layOut(Asset::open(item.path), &track);
    // The same source, the sped-up stretch at 2x instead of 4x: source [2, 4) over output [1, 2).
    int retimedTrack = 0;
    auto retimed = std::make_shared<Composition>();
    {
        const Asset asset = Asset::open(item.path);
        CompositionTrack* video = retimed->addMutableTrack(TrackKind::video);
        video->insertTimeRange({sec(0), sec(1)}, asset, 0, sec(0));
        video->insertTimeRange({sec(2), sec(2)}, asset, 0, sec(1));
        video->scaleTimeRange({sec(1), sec(2)}, sec(1));
        retimedTrack = video->trackID();
    }
    RecordingSink sink;
    Player player(sink, silent());
    player.replaceItem(item.composition, copyingComposition(item.videoTrack));
    ASSERT_TRUE(sink.waitFor(1, 5s));
    // With the file gone, only a decoder that is still open can show a frame.
    std::filesystem::rename(item.path, folder.path() / "moved.mp4");
    player.replaceItem(sameLayout, copyingComposition(track));
    player.seek(1.2);
    ASSERT_TRUE(sink.waitFor(2, 5s));
    EXPECT_EQ(barcodeOf(sink.last()->picture), CutAndSpeedUp::sourceFrameAt(72 / 60.0));

    const size_t shown = sink.count();
    player.replaceItem(retimed, copyingComposition(retimedTrack));
    EXPECT_NEAR(player.duration(), 2, 1e-6);
    ASSERT_TRUE(sink.waitFor(shown + 1, 5s)) << "the frame at the time kept is shown again";
    EXPECT_EQ(barcodeOf(sink.last()->picture), 72) << "source 2.4 s at output 1.2 s under the new timing";
    // Forward within the new stretch, then back before it: each frame read by the open decoder.
    const std::pair<double, int> seeks[] = {{1.5, 90}, {1.9, 114}, {0.5, 15}};
    for (const auto& [time, sourceFrame] : seeks) {
        const size_t before = sink.count();
        player.seek(time);
        ASSERT_TRUE(sink.waitFor(before + 1, 5s)) << time;
        EXPECT_EQ(barcodeOf(sink.last()->picture), sourceFrame) << time;
    }
}

TEST(CompositionSound, ASeekStartsTheSoundAtThatOutputTimeAcrossACut) {
    vi::test::TempDir folder;
    const auto file = vi::test::makeAudioOnlyFile(folder.path() / "clicks.m4a", {vi::test::SoundSpec::clicks(0.5, 0.25)}, 4);
    const Asset asset = Asset::open(file);
    auto composition = std::make_shared<Composition>();
    CompositionTrack* sound = composition->addMutableTrack(TrackKind::audio);
    sound->insertTimeRange({sec(0), sec(1)}, asset, 0, sec(0));
    sound->insertTimeRange({sec(2), sec(1)}, asset, 0, sec(1)); // source 2..3 follows at output 1

    CompositionSound source(composition);
    struct Case {
        double seekTo;
        double nextClick; // output time of the first click at or after it
    };
    for (const Case c : {Case{0.2, 0.25}, Case{1.1, 1.25}, Case{0.8, 1.25}, Case{1.6, 1.75}}) {
        source.seek(c.seekTo);
        std::vector<int16_t> samples(size_t(kAudioSampleRate) * kAudioChannels);
        const int got = source.read(samples.data(), kAudioSampleRate / 2);
        ASSERT_GT(got, (c.nextClick - c.seekTo + 0.02) * kAudioSampleRate) << c.seekTo;
        int onset = -1;
        for (int i = 0; i < got && onset < 0; ++i)
            if (std::abs(samples[size_t(i) * kAudioChannels]) > 3000) onset = i;
        EXPECT_NEAR(onset / double(kAudioSampleRate), c.nextClick - c.seekTo, 0.002) << c.seekTo;
    }
    // Past the end there is nothing more.
    source.seek(2.5);
    std::vector<int16_t> tail(64 * kAudioChannels);
    EXPECT_EQ(source.read(tail.data(), 64), 0);
}
