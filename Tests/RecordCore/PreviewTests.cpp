#include "RecordCore/Preview.h"

#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/Player.h"
#include "RecordCore/RecordError.h"
#include "SceneFixtures.h"
#include "Support/FrameBarcode.h"
#include "Support/RecordingSink.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"
#include "Support/GuiEvents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstring>
#include <thread>

namespace vi {
namespace {

using namespace std::chrono_literals;

// A plain look (no wallpaper to paint) in the given colour, no cards.
Project plainProject(const char* colour) {
    Project project;
    project.wallpaperPreset = std::nullopt;
    project.solidColor = colour;
    project.shadow = 0;
    return project;
}

media::PixelBuffer solidFrame(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    media::PixelBufferPool pool(media::PixelFormat::bgra, width, height);
    media::PixelBuffer frame = pool.acquire();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame.data() + y * frame.stride() + x * 4;
            p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
        }
    return frame;
}

const uint8_t* pixel(const media::PixelBuffer& frame, int x, int y) { return frame.data() + y * frame.stride() + x * 4; }

using vi::test::spin;

std::shared_ptr<PreviewRenderer> rendererFor(const Plan& plan, const Project& project) {
    return std::make_shared<PreviewRenderer>(std::make_shared<const Scene>(plan, project, std::nullopt, 60),
                                             Preview::compositor(plan, project, false));
}

} // namespace

TEST(PreviewRenderer, FitsTheCanvasInsideTheDestinationAndCentresIt) {
    const Plan plan = test::realTimePlan(2);
    const auto renderer = rendererFor(plan, plainProject("#0000FF"));
    const auto source = solidFrame(1920, 1080, 0, 160, 0);
    const auto compositor = renderer->compositor();
    raster::Bitmap expected;
    compositor->frame(raster::Image(std::make_shared<media::PixelBuffer>(source), source.data(), 1920, 1080, source.stride()),
                      renderer->scene()->state(0.5), nullptr, expected);

    struct Case {
        int width, height;
        int left, top, scaleNumerator, scaleDenominator; // where the canvas lands and at what scale
    };
    const Case cases[] = {{1920, 1080, 0, 0, 1, 1}, {960, 540, 0, 0, 1, 2}, {2400, 1080, 240, 0, 1, 1}};
    for (const auto& c : cases) {
        media::PixelBufferPool pool(media::PixelFormat::bgra, c.width, c.height);
        const media::PixelBuffer destination = pool.acquire();
        renderer->render(source, nullptr, 0.5, destination);
        // The window's middle and a backdrop corner land where the fit puts them.
        for (const auto& [x, y] : {std::pair{960, 540}, std::pair{20, 20}, std::pair{1900, 1060}}) {
            const int dx = c.left + x * c.scaleNumerator / c.scaleDenominator;
            const int dy = c.top + y * c.scaleNumerator / c.scaleDenominator;
            const uint8_t* want = expected.row(y) + x * 4;
            const uint8_t* got = pixel(destination, dx, dy);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 3) << c.width << "x" << c.height << " at " << x;
        }
        if (c.left > 0) {
            EXPECT_EQ(pixel(destination, c.left / 2, 500)[3], 0) << "clear beside the canvas";
            EXPECT_EQ(pixel(destination, c.width - c.left / 2, 500)[3], 0);
        }
    }
}

TEST(PreviewRenderer, AnUpdateIsDrawnByTheNextFrameAndTheNextFrameCallbackRunsOnceOnTheGuiThread) {
    const Plan plan = test::realTimePlan(2);
    const auto renderer = rendererFor(plan, plainProject("#0000FF"));
    int first = 0, second = 0;
    bool onGuiThread = false;
    renderer->onNextFrame([&] { ++first; });
    renderer->onNextFrame([&] {
        ++second;
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    const Project red = plainProject("#FF0000");
    renderer->update(std::make_shared<const Scene>(plan, red, std::nullopt, 60), Preview::compositor(plan, red, false));

    const auto source = solidFrame(1920, 1080, 0, 160, 0);
    media::PixelBufferPool pool(media::PixelFormat::bgra, 1920, 1080);
    std::thread([&] {
        for (int i = 0; i < 2; ++i) renderer->render(source, nullptr, 0.1 * i, pool.acquire());
    }).join();
    const auto destination = pool.acquire();
    renderer->render(source, nullptr, 0.3, destination);
    EXPECT_GT(pixel(destination, 20, 20)[2], 200) << "the backdrop is the new red";
    EXPECT_LT(pixel(destination, 20, 20)[0], 40);
    EXPECT_EQ(second, 0) << "queued for the GUI thread";
    spin(30ms);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(onGuiThread);
}

TEST(Preview, BuildsTheRecordingTrackAndACameraTrackOnlyWhenTheCameraHasVideo) {
    test::TempDir folder;
    test::RecordingSpec spec;
    spec.duration = 2;
    const auto recording = test::makeRecording(folder.path() / "recording.mp4", spec);
    const auto camera = test::makeCameraClip(folder.path() / "camera.mp4", 2);
    const auto soundOnly = test::makeAudioOnlyFile(folder.path() / "sound.m4a", {test::SoundSpec::tone(440)}, 2);
    Plan plan = test::realTimePlan(2);
    plan.source.width = 320;
    plan.source.height = 180;
    const Project project = plainProject("#0000FF");

    const auto plain = Preview::build(recording.path, plan, project, std::nullopt, std::nullopt);
    ASSERT_TRUE(plain.renderer);
    EXPECT_FALSE(plain.cameraTrackID);
    EXPECT_EQ(plain.videoComposition.requiredTrackIDs, std::vector<int>{plain.videoTrackID});
    EXPECT_EQ(plain.videoComposition.renderWidth, 1920);
    EXPECT_EQ(plain.videoComposition.renderHeight, 1080);
    EXPECT_NEAR(plain.duration.seconds(), 2, 0.05);

    const auto withCamera = Preview::build(recording.path, plan, project, std::nullopt, camera.path, plain.renderer);
    EXPECT_EQ(withCamera.renderer, plain.renderer) << "the renderer in use is kept";
    ASSERT_TRUE(withCamera.cameraTrackID);
    EXPECT_EQ(withCamera.videoComposition.requiredTrackIDs,
              (std::vector<int>{withCamera.videoTrackID, *withCamera.cameraTrackID}));
    EXPECT_TRUE(withCamera.renderer->compositor()->bubble().has_value());

    const auto noCameraVideo = Preview::build(recording.path, plan, project, std::nullopt, soundOnly);
    EXPECT_FALSE(noCameraVideo.cameraTrackID);
    EXPECT_FALSE(noCameraVideo.renderer->compositor()->bubble().has_value());

    Project portrait = project;
    portrait.format = "9:16";
    EXPECT_EQ(Preview::videoComposition(1, std::nullopt, outputFormat(portrait), plain.renderer).renderWidth, 1080);
    Project unknown = project;
    unknown.format = "3:2";
    EXPECT_EQ(Preview::videoComposition(1, std::nullopt, outputFormat(unknown), plain.renderer).renderWidth, 1920);

    // A request without the recording's frame fails with the reading error and draws nothing.
    media::VideoCompositionRequest request;
    media::PixelBufferPool pool(media::PixelFormat::bgra, 1920, 1080);
    request.destination = pool.acquire();
    try {
        plain.videoComposition.compose(request);
        ADD_FAILURE() << "composed without a source frame";
    } catch (const RecordError& error) {
        EXPECT_EQ(error.kind(), RecordError::Kind::readFailed);
        EXPECT_STREQ(error.what(), "Could not read the video.");
    }
}

TEST(Preview, PlaysAndALookSwappedInMidPlayIsUsedFromTheNextFrameOn) {
    test::TempDir folder;
    test::RecordingSpec spec;
    spec.duration = 2;
    const auto recording = test::makeRecording(folder.path() / "recording.mp4", spec);
    Plan plan = test::realTimePlan(2);
    plan.source.width = 320;
    plan.source.height = 180;
    const Project blue = plainProject("#0000FF");
    const auto built = Preview::build(recording.path, plan, blue, std::nullopt, std::nullopt);

    test::RecordingSink sink;
    media::PlayerOptions options;
    options.sound = false;
    media::Player player(sink, options);
    player.replaceItem(built.composition, built.videoComposition);
    ASSERT_TRUE(sink.waitFor(1, 10s));
    // Slowly, so that a slow build (the thread checker) still shows frames before and after.
    player.setRate(0.25);
    player.play();
    ASSERT_TRUE(sink.waitFor(3, 30s));
    const Project red = plainProject("#FF0000");
    int noticed = 0;
    built.renderer->onNextFrame([&] { ++noticed; });
    built.renderer->update(std::make_shared<const Scene>(plan, red, std::nullopt, 60),
                           Preview::compositor(plan, red, false));
    const size_t swappedAfter = sink.count();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (player.isPlaying() && std::chrono::steady_clock::now() < deadline) spin(10ms);
    spin(30ms);
    EXPECT_EQ(noticed, 1);

    // Once a red frame is shown, no blue one follows.
    const auto frames = sink.frames();
    bool sawRed = false;
    for (size_t i = 0; i < frames.size(); ++i) {
        const bool isRed = pixel(frames[i].picture, 20, 20)[2] > 200;
        if (sawRed) {
            EXPECT_TRUE(isRed) << "frame " << i;
        }
        sawRed |= isRed;
        if (i < 3) {
            EXPECT_FALSE(isRed) << "frame " << i;
        }
    }
    EXPECT_TRUE(sawRed);
    EXPECT_GT(frames.size(), swappedAfter);
}

TEST(Preview, PlaysToTheEndOnTimeWhenTheRecordingAndTheCameraEndEarly) {
    test::TempDir folder;
    test::RecordingSpec spec;
    spec.duration = 1.5; // a recording cut short: the plan below runs to 2 s
    const auto recording = test::makeRecording(folder.path() / "recording.mp4", spec);
    const auto camera = test::makeCameraClip(folder.path() / "camera.mp4", 1);
    Plan plan = test::realTimePlan(2);
    plan.source.width = 320;
    plan.source.height = 180;
    Project project = plainProject("#0000FF");
    project.padding = 0; // the recording fills the canvas, so its barcodes can be read
    project.radius = 0;
    const auto built = Preview::build(recording.path, plan, project, std::nullopt, camera.path);
    ASSERT_TRUE(built.cameraTrackID);

    test::RecordingSink sink;
    media::PlayerOptions options;
    options.sound = false;
    media::Player player(sink, options);
    player.replaceItem(built.composition, built.videoComposition);
    ASSERT_TRUE(sink.waitFor(1, 10s));
    int ends = 0;
    player.addEndObserver([&] { ++ends; });
    const auto start = std::chrono::steady_clock::now();
    player.play();
    while (ends == 0 && std::chrono::steady_clock::now() - start < 20s) spin(10ms);
    ASSERT_EQ(ends, 1);
    // However slow composing is here (the thread checker), the end comes with the clock.
    EXPECT_LT(std::chrono::steady_clock::now() - start, player.duration() * 1s + 1s);
    // Past the camera's end the frames have no bubble; past the recording's (the camera track
    // carries the item on to the plan's end) there is no recording frame, so no frame is made
    // and the last one shown stays.
    EXPECT_LE(player.counts().failed, 30);
    for (const auto& frame : sink.frames()) {
        EXPECT_LT(frame.time, 1.5) << "a frame made without the recording";
        EXPECT_EQ(test::FrameBarcode::read(frame.picture.view()), int(std::floor(frame.time * 30 + 1e-6))) << frame.time;
    }
}

} // namespace vi
