#include "MediaTestReading.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/AudioTrackReader.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vi::media {
namespace {

using test::SoundSpec;

// AAC keeps a tone's pitch and loudness closely and a click's onset to within a few samples.
constexpr double kFrequencyTolerance = 2.0;
constexpr double kLevelTolerance = 0.03;
constexpr double kOnsetTolerance = 0.003;

TEST(SoundRoundTrip, TonesAndClicksSurviveOnTheirOwnTracks)
{
    test::TempDir dir;
    test::RecordingSpec spec;
    spec.sounds = {SoundSpec::tone(440), SoundSpec::clicks(0.5)};
    const auto made = test::makeRecording(dir / "r.mp4", spec);
    const Asset asset = Asset::open(made.path);

    const test::ReadSound tone = test::readAllSound(asset, 0);
    EXPECT_NEAR(tone.start, 0.0, 1.0 / 48000);
    EXPECT_NEAR(static_cast<double>(tone.frames()) / 48000, 2.0, 0.025);
    EXPECT_NEAR(test::measuredFrequency(tone, 0.1, 1.9), 440, kFrequencyTolerance);
    EXPECT_NEAR(test::rms(tone, 0.1, 1.9), 0.5 / std::sqrt(2.0), kLevelTolerance);

    const test::ReadSound clicks = test::readAllSound(asset, 1);
    const std::vector<double> found = test::onsets(clicks, 0.2);
    ASSERT_EQ(found.size(), 4u);
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(found[k], 0.25 + 0.5 * static_cast<double>(k), kOnsetTolerance) << k;
}

TEST(SoundRoundTrip, ReadingFromAStartTimeIsSampleExact)
{
    test::TempDir dir;
    test::RecordingSpec spec;
    spec.sounds = {SoundSpec::clicks(0.5)};
    const auto made = test::makeRecording(dir / "r.mp4", spec);
    AudioTrackReader reader(Asset::open(made.path), {.track = 0, .start = 1.0});
    const auto chunk = reader.next();
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->time, MediaTime(48000, 48000));
    test::ReadSound rest;
    rest.start = 1.0;
    rest.samples.assign(chunk->samples, chunk->samples + 2 * chunk->frameCount);
    while (auto more = reader.next())
        rest.samples.insert(rest.samples.end(), more->samples, more->samples + 2 * more->frameCount);
    const auto found = test::onsets(rest, 0.2);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[0], 1.25, kOnsetTolerance);
}

TEST(SoundRoundTrip, GapsBecomeSilenceAndOverlapsAreDropped)
{
    test::TempDir dir;
    AssetWriter writer(dir / "gaps.mp4");
    const int track = writer.addAudioTrack();
    writer.start();
    writer.startSession(MediaTime::fromSeconds(100));
    std::vector<int16_t> half(48000, 0); // 0.5 s of stereo
    auto sendTone = [&](double from) {
        test::synthesize(SoundSpec::tone(1000), 0, half);
        writer.appendAudio(track, half, MediaTime::fromSeconds(100 + from));
    };
    sendTone(-0.25); // starts before the session: its first half is cut off
    sendTone(1.0);   // a gap of 0.75 s
    sendTone(1.25);  // overlaps the previous by 0.25 s
    writer.finish(MediaTime::fromSeconds(101.75));

    const test::ReadSound sound = test::readAllSound(Asset::open(dir / "gaps.mp4"));
    EXPECT_NEAR(static_cast<double>(sound.frames()) / 48000, 1.75, 0.025);
    EXPECT_GT(test::rms(sound, 0.02, 0.23), 0.3);
    EXPECT_LT(test::rms(sound, 0.3, 0.95), 0.01);
    EXPECT_GT(test::rms(sound, 1.05, 1.7), 0.3);
}

TEST(SoundRoundTrip, AudioOnlyFileHasNoVideo)
{
    test::TempDir dir;
    const auto path = test::makeAudioOnlyFile(dir / "sound.mp4", {SoundSpec::tone(330), SoundSpec::tone(660)}, 2);
    const Asset asset = Asset::open(path);
    EXPECT_FALSE(asset.hasVideo());
    ASSERT_EQ(asset.audioTracks().size(), 2u);
    EXPECT_NEAR(asset.durationSeconds(), 2.0, 0.03);
    try {
        VideoTrackReader reader(asset);
        FAIL() << "a video reader opened on a file without video";
    } catch (const MediaError& error) {
        EXPECT_EQ(error.kind(), MediaErrorKind::noVideoTrack);
        EXPECT_EQ(error.message(), "The file has no video track.");
    }
    EXPECT_NEAR(test::measuredFrequency(test::readAllSound(asset, 1), 0.1, 1.9), 660, kFrequencyTolerance);
    EXPECT_THROW(AudioTrackReader(asset, {.track = 2}), MediaError);
}

} // namespace
} // namespace vi::media
