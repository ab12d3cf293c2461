#include "MediaTestReading.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/FrameBarcode.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

namespace vi::media {
namespace {

using test::RecordingSpec;
using test::SoundSpec;

// A frame time read back may differ from the one written by a tick of either timescale.
constexpr double kTimeTolerance = 0.001;

void expectFramesInOrder(const std::vector<test::ReadFrame>& frames, const std::vector<double>& written)
{
    ASSERT_EQ(frames.size(), written.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].index, static_cast<int>(i)) << "frame " << i;
        EXPECT_NEAR(frames[i].seconds, written[i], kTimeTolerance) << "frame " << i;
    }
}

class CodecRoundTrip : public testing::TestWithParam<VideoCodec> {};

TEST_P(CodecRoundTrip, KeepsTracksFramesOrderSizesAndTiming)
{
    test::TempDir dir;
    RecordingSpec spec;
    spec.codec = GetParam();
    spec.sounds = {SoundSpec::tone(440), SoundSpec::clicks(0.5)};
    spec.sessionStart = 5.25; // the capture clock's time of the first frame becomes 0
    const auto made = test::makeRecording(dir / "recording.mp4", spec);

    const Asset asset = Asset::open(made.path);
    ASSERT_EQ(asset.tracks().size(), 3u);
    EXPECT_EQ(asset.tracks()[0].kind, TrackKind::video);
    EXPECT_EQ(asset.tracks()[1].kind, TrackKind::audio);
    EXPECT_EQ(asset.tracks()[2].kind, TrackKind::audio);
    EXPECT_NEAR(asset.durationSeconds(), 2.0, 0.03);

    const TrackInfo& video = asset.tracks()[0];
    EXPECT_EQ(video.codec, GetParam() == VideoCodec::h264 ? "h264" : "hevc");
    EXPECT_EQ(video.codedWidth, 320);
    EXPECT_EQ(video.codedHeight, 180);
    EXPECT_EQ(video.rotation, 0);
    EXPECT_EQ(video.uprightWidth, 320);
    EXPECT_EQ(video.uprightHeight, 180);
    EXPECT_DOUBLE_EQ(video.nominalFrameRate, 30);
    EXPECT_NEAR(video.duration.seconds(), 2.0, kTimeTolerance);
    EXPECT_EQ(asset.tracks()[1].sampleRate, 48000);
    EXPECT_EQ(asset.tracks()[1].channels, 2);

    expectFramesInOrder(test::readAllFrames(asset), made.frameTimes);
    expectFramesInOrder(test::readAllFrames(asset, {.output = VideoOutput::native}), made.frameTimes);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRoundTrip, testing::Values(VideoCodec::h264, VideoCodec::hevc),
                         [](const auto& codec) { return codec.param == VideoCodec::h264 ? "H264" : "HEVC"; });

TEST(MediaRoundTrip, NativeOutputHandsOutTheDecodersPlanes)
{
    test::TempDir dir;
    const auto made = test::makeRecording(dir / "r.mp4", RecordingSpec{.duration = 0.5});
    VideoTrackReader reader(Asset::open(made.path), {.output = VideoOutput::native});
    const auto frame = reader.next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->picture.format(), PixelFormat::yuv420p);
    EXPECT_EQ(frame->picture.matrix(), ColorMatrix::bt709);
    EXPECT_EQ(frame->picture.range(), ColorRange::limited);
    EXPECT_EQ(test::FrameBarcode::read(frame->picture.view()), 0);
}

TEST(MediaRoundTrip, StillScreenKeepsItsDeclaredRateAndLastsUntilTheSessionEnd)
{
    for (const bool fragmented : {false, true}) {
        test::TempDir dir;
        RecordingSpec spec;
        spec.fps = 60;
        spec.duration = 3;
        spec.frameTimes = {0, 0.05, 1.5}; // the screen changed twice, then stayed still
        spec.sounds = {SoundSpec::tone(440)};
        spec.fragmented = fragmented;
        const auto made = test::makeRecording(dir / "still.mp4", spec);

        const Asset asset = Asset::open(made.path);
        EXPECT_DOUBLE_EQ(asset.videoTracks().at(0).nominalFrameRate, 60) << fragmented;
        EXPECT_NEAR(asset.durationSeconds(), 3.0, kTimeTolerance) << fragmented;
        EXPECT_NEAR(asset.videoTracks().at(0).duration.seconds(), 3.0, kTimeTolerance) << fragmented;
        expectFramesInOrder(test::readAllFrames(asset), made.frameTimes);
    }
}

TEST(MediaRoundTrip, MediaBeforeTheSessionStartIsLeftOut)
{
    test::TempDir dir;
    AssetWriter writer(dir / "session.mp4");
    const int track = writer.addVideoTrack({.width = 64, .height = 36, .expectedFrameRate = 30});
    writer.start();
    writer.startSession(MediaTime::fromSeconds(10));
    PixelBufferPool& pool = writer.pixelBufferPool(track);
    for (double t : {9.5, 10.0, 10.5}) {
        PixelBuffer picture = pool.acquire();
        std::fill_n(picture.data(0), picture.stride(0) * picture.height(), uint8_t{90});
        writer.appendVideo(track, picture, MediaTime::fromSeconds(t));
    }
    writer.finish(MediaTime::fromSeconds(12));

    const Asset asset = Asset::open(dir / "session.mp4");
    EXPECT_NEAR(asset.durationSeconds(), 2.0, kTimeTolerance);
    VideoTrackReader reader(asset);
    std::vector<double> times;
    while (auto frame = reader.next())
        times.push_back(frame->seconds());
    ASSERT_EQ(times.size(), 2u);
    EXPECT_NEAR(times[0], 0.0, kTimeTolerance);
    EXPECT_NEAR(times[1], 0.5, kTimeTolerance);
}

TEST(MediaRoundTrip, RotatedRecordingReportsItsUprightSize)
{
    struct Case {
        int rotation;
        int uprightWidth, uprightHeight;
    };
    for (const Case c : {Case{90, 180, 320}, Case{180, 320, 180}, Case{270, 180, 320}}) {
        test::TempDir dir;
        RecordingSpec spec;
        spec.rotation = c.rotation;
        spec.duration = 0.5;
        const auto made = test::makeRecording(dir / "rotated.mp4", spec);
        const TrackInfo video = Asset::open(made.path).videoTracks().at(0);
        EXPECT_EQ(video.rotation, c.rotation);
        EXPECT_EQ(video.codedWidth, 320);
        EXPECT_EQ(video.codedHeight, 180);
        EXPECT_EQ(video.uprightWidth, c.uprightWidth) << c.rotation;
        EXPECT_EQ(video.uprightHeight, c.uprightHeight) << c.rotation;
        // Readers give the stored picture; the barcode reads as written.
        expectFramesInOrder(test::readAllFrames(Asset::open(made.path)), made.frameTimes);
    }
}

TEST(MediaRoundTrip, ReadingFromAStartTimeGivesTheFrameShowingThen)
{
    test::TempDir dir;
    RecordingSpec spec; // keyframes every 2 s, so later starts decode forward from frame 0
    spec.duration = 3;
    const auto made = test::makeRecording(dir / "r.mp4", spec);
    const Asset asset = Asset::open(made.path);
    struct Case {
        double start;
        int firstIndex;
    };
    for (const Case c : {Case{0, 0}, Case{1.0, 30}, Case{1.01, 30}, Case{2.5, 75}, Case{-1, 0}}) {
        const auto frames = test::readAllFrames(asset, {.start = c.start});
        ASSERT_FALSE(frames.empty()) << c.start;
        EXPECT_EQ(frames.front().index, c.firstIndex) << c.start;
        EXPECT_EQ(frames.back().index, 89) << c.start;
        EXPECT_EQ(frames.size(), static_cast<size_t>(90 - c.firstIndex)) << c.start;
    }
    // Seeking back after reading on.
    VideoTrackReader reader(asset);
    for (int i = 0; i < 70; ++i)
        ASSERT_TRUE(reader.next());
    reader.seek(0.5);
    const auto frame = reader.next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(test::FrameBarcode::read(frame->picture.view()), 15);
    EXPECT_NEAR(frame->seconds(), 0.5, kTimeTolerance);
}

TEST(MediaRoundTrip, CameraClipIsVideoOnly)
{
    test::TempDir dir;
    const auto made = test::makeCameraClip(dir / "camera.mp4");
    const Asset asset = Asset::open(made.path);
    EXPECT_FALSE(asset.hasAudio());
    ASSERT_EQ(asset.videoTracks().size(), 1u);
    EXPECT_DOUBLE_EQ(asset.videoTracks()[0].nominalFrameRate, 30);
    expectFramesInOrder(test::readAllFrames(asset), made.frameTimes);
}

} // namespace
} // namespace vi::media
