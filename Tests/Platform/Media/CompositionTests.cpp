#include "MediaTestReading.h"
#include "Platform/Media/Composition.h"
#include "Platform/Media/CompositionAudioReader.h"
#include "Platform/Media/CompositionVideoReader.h"
#include "Platform/Media/MediaError.h"
#include "Support/FrameBarcode.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vi::media {
namespace {

using test::SoundSpec;

MediaTime sec(double seconds) { return MediaTime::fromSeconds(seconds); }
MediaTimeRange span(double start, double duration) { return {sec(start), sec(duration)}; }

// (output start, output end, source start or -1 for empty, source end)
struct Expected {
    double from, to, sourceFrom, sourceTo;
};

void expectSegments(const CompositionTrack& track, const std::vector<Expected>& expected)
{
    ASSERT_EQ(track.segments().size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        const CompositionSegment& s = track.segments()[k];
        EXPECT_NEAR(s.target.start.seconds(), expected[k].from, 1e-4) << k;
        EXPECT_NEAR(s.target.end().seconds(), expected[k].to, 1e-4) << k;
        if (expected[k].sourceFrom < 0) {
            EXPECT_TRUE(s.isEmpty()) << k;
            continue;
        }
        ASSERT_FALSE(s.isEmpty()) << k;
        EXPECT_NEAR(s.source->start.seconds(), expected[k].sourceFrom, 1e-4) << k;
        EXPECT_NEAR(s.source->end().seconds(), expected[k].sourceTo, 1e-4) << k;
    }
}

class CompositionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TempDir;
        test::RecordingSpec spec;
        spec.duration = 4;
        spec.fps = 30;
        spec.sounds = {SoundSpec::clicks(0.5), SoundSpec::tone(440, 0.4)};
        recording = new test::SyntheticRecording(test::makeRecording(*dir / "r.mp4", spec));
        asset = new Asset(Asset::open(recording->path));
    }
    static void TearDownTestSuite()
    {
        delete asset;
        delete recording;
        delete dir;
    }
    static test::TempDir* dir;
    static test::SyntheticRecording* recording;
    static Asset* asset;
};
test::TempDir* CompositionTest::dir = nullptr;
test::SyntheticRecording* CompositionTest::recording = nullptr;
Asset* CompositionTest::asset = nullptr;

TEST_F(CompositionTest, InsertionsShiftLaterMediaAndRetimingMovesWhatFollows)
{
    Composition composition;
    CompositionTrack& track = *composition.addMutableTrack(TrackKind::video);
    track.insertTimeRange(span(0, 2), *asset, 0, sec(0));
    track.insertTimeRange(span(3, 1), *asset, 0, sec(2));
    // Into the middle of the first range: it is split around the new one.
    track.insertEmptyTimeRange(span(1, 0.5));
    expectSegments(track, {{0, 1, 0, 1}, {1, 1.5, -1, 0}, {1.5, 2.5, 1, 2}, {2.5, 3.5, 3, 4}});
    // The second half of the split range plays 4x faster; the last range follows it.
    track.scaleTimeRange(span(1.5, 1), sec(0.25));
    expectSegments(track, {{0, 1, 0, 1}, {1, 1.5, -1, 0}, {1.5, 1.75, 1, 2}, {1.75, 2.75, 3, 4}});
    EXPECT_NEAR(track.segments()[2].sourceTime(sec(1.625)).seconds(), 1.5, 1e-4);
    EXPECT_NEAR(track.segments()[2].outputTime(sec(1.5)).seconds(), 1.625, 1e-4);
    // Past the end: an empty stretch bridges the gap.
    track.insertTimeRange(span(0, 0.5), *asset, 0, sec(3));
    EXPECT_TRUE(track.segments()[4].isEmpty());
    EXPECT_NEAR(track.duration().seconds(), 3.5, 1e-4);
    EXPECT_EQ(track.segmentAt(sec(1.7)), &track.segments()[2]);
    EXPECT_EQ(track.segmentAt(sec(3.5)), nullptr);
}

TEST_F(CompositionTest, TracksAreFoundByKindAndOrderAndRefusedRangesThrow)
{
    Composition composition;
    const int first = composition.addMutableTrack(TrackKind::video)->trackID();
    composition.addMutableTrack(TrackKind::audio);
    const int second = composition.addMutableTrack(TrackKind::video)->trackID();
    EXPECT_NE(first, second);
    ASSERT_EQ(composition.tracks(TrackKind::video).size(), 2u);
    EXPECT_EQ(composition.tracks(TrackKind::video)[1]->trackID(), second);
    EXPECT_EQ(composition.track(first)->kind(), TrackKind::video);
    CompositionTrack& sound = *composition.tracks(TrackKind::audio)[0];
    EXPECT_THROW(sound.insertTimeRange(span(0, 1), *asset, 2, sec(0)), MediaError);   // no third sound track
    EXPECT_THROW(sound.insertTimeRange(span(5, 1), *asset, 0, sec(0)), MediaError);   // after the file's end
    EXPECT_THROW(sound.scaleTimeRange(span(0, 0), sec(1)), MediaError);
}

// Sound on output time: 1x ranges come from the file in time, empty ranges are silent, and the
// two tracks are mixed.
TEST_F(CompositionTest, SoundReaderPlaysInsertedRangesInTimeAndEmptyRangesSilent)
{
    Composition composition;
    CompositionTrack& clicks = *composition.addMutableTrack(TrackKind::audio);
    clicks.insertTimeRange(span(0, 1), *asset, 0, sec(0));        // clicks at 0.25, 0.75
    clicks.insertEmptyTimeRange(span(1, 1));                       // silence 1 .. 2
    clicks.insertTimeRange(span(3, 1), *asset, 0, sec(2));        // clicks at 3.25, 3.75 -> 2.25, 2.75
    CompositionAudioReader reader(composition);
    test::ReadSound sound;
    while (auto chunk = reader.next()) {
        EXPECT_EQ(chunk->time.value, static_cast<int64_t>(sound.frames()));
        sound.samples.insert(sound.samples.end(), chunk->samples, chunk->samples + 2 * chunk->frameCount);
    }
    EXPECT_EQ(sound.frames(), 3u * 48000u);
    const std::vector<double> found = test::onsets(sound, 0.2);
    const std::vector<double> expected{0.25, 0.75, 2.25, 2.75};
    ASSERT_EQ(found.size(), expected.size());
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(found[k], expected[k], 0.003) << k;
    EXPECT_LT(test::rms(sound, 1.0, 2.0), 1e-4);

    // The tone track joins the mix where it plays.
    CompositionTrack& tone = *composition.addMutableTrack(TrackKind::audio);
    tone.insertEmptyTimeRange(span(0, 1.5));
    tone.insertTimeRange(span(0, 0.5), *asset, 1, sec(1.5));
    CompositionAudioReader mix(composition);
    test::ReadSound mixed;
    while (auto chunk = mix.next())
        mixed.samples.insert(mixed.samples.end(), chunk->samples, chunk->samples + 2 * chunk->frameCount);
    EXPECT_LT(test::rms(mixed, 1.0, 1.45), 1e-4);
    EXPECT_NEAR(test::rms(mixed, 1.55, 1.95), 0.4 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(test::measuredFrequency(mixed, 1.55, 1.95), 440, 3);
}

TEST_F(CompositionTest, SoundReaderRefusesRetimedSound)
{
    Composition composition;
    CompositionTrack& sound = *composition.addMutableTrack(TrackKind::audio);
    sound.insertTimeRange(span(0, 2), *asset, 0, sec(0));
    sound.scaleTimeRange(span(0, 2), sec(1));
    EXPECT_THROW(CompositionAudioReader{composition}, MediaError);
}

// Which source frame shows at each output frame time, across a 1x range, a 3x range, an empty
// range and a jump back in time.
TEST_F(CompositionTest, VideoReaderShowsTheFrameInForceAtEachOutputTime)
{
    Composition composition;
    CompositionTrack& track = *composition.addMutableTrack(TrackKind::video);
    track.insertTimeRange(span(0, 1), *asset, 0, sec(0));
    track.insertTimeRange(span(1, 3), *asset, 0, sec(1));
    track.scaleTimeRange(span(1, 3), sec(1));
    track.insertEmptyTimeRange(span(2, 0.5));
    CompositionVideoReader reader(composition, track.trackID());
    auto indexAt = [&](double output) -> std::optional<int> {
        const auto frame = reader.frameAt(sec(output));
        if (!frame)
            return std::nullopt;
        return test::FrameBarcode::read(frame->picture.view());
    };
    // Source frames lie 1/30 s apart: at 1x output frame k/30 shows frame k, at 3x frame 30 + 3k.
    for (int k = 0; k < 30; k += 7)
        EXPECT_EQ(indexAt(k / 30.0), k) << k;
    for (int k = 0; k < 30; k += 4)
        EXPECT_EQ(indexAt(1 + k / 30.0), 30 + 3 * k) << k;
    EXPECT_EQ(indexAt(2.2), std::nullopt);
    EXPECT_EQ(indexAt(3.0), std::nullopt);
    EXPECT_EQ(indexAt(0.5), 15); // back in time
}

} // namespace
} // namespace vi::media
