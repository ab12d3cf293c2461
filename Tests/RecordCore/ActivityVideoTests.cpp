#include "RecordCore/ActivityAnalyzer.h"

#include "RecordCore/RecordError.h"

#include "Platform/Media/Asset.h"
#include "Platform/Media/MediaError.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace vi {
namespace {

constexpr double measuresPerSecond = 15;
constexpr int cols = 64;
constexpr int rows = 40;

ActivityAnalyzer::Analysis analyzeFile(const std::filesystem::path& file, std::vector<double>* progress = nullptr)
{
    ActivityAnalyzer::Progress report;
    if (progress) {
        report = [progress](double fraction) { progress->push_back(fraction); };
    }
    return ActivityAnalyzer::analyze(file, measuresPerSecond, cols, rows, report);
}

TEST(ActivityVideo, FindsTheSquareOnceItStartsMoving)
{
    test::TempDir dir;
    test::RecordingSpec spec;
    spec.fps = 30;
    spec.duration = 3;
    spec.motionStart = 1.5;
    const auto recording = test::makeRecording(dir / "moving.mp4", spec);

    std::vector<double> progress;
    const auto analysis = analyzeFile(recording.path, &progress);

    EXPECT_EQ(analysis.info.width, 320);
    EXPECT_EQ(analysis.info.height, 180);
    EXPECT_DOUBLE_EQ(analysis.info.fps, 30);
    EXPECT_NEAR(analysis.info.duration, 3, 0.05);
    EXPECT_FALSE(analysis.info.hasAudio);

    // At 15 measurements a second, every other frame of a 30-frame-a-second file.
    ASSERT_EQ(analysis.samples.size(), recording.frameTimes.size() / 2);
    const double squareTop = 0.55;
    const double squareBottom = 0.55 + 1.0 / 6;
    std::size_t moving = 0;
    std::size_t onTheSquare = 0;
    for (std::size_t i = 0; i < analysis.samples.size(); ++i) {
        const ActivitySample& sample = analysis.samples[i];
        EXPECT_NEAR(sample.t, recording.frameTimes[2 * i], 1e-4);
        if (sample.t < spec.motionStart) {
            // Only the frame-number blocks in the top-left corner change before the square moves.
            EXPECT_TRUE(!sample.focus || sample.focus->maxY() < 0.3) << "t " << sample.t;
        } else if (sample.t > spec.motionStart + 0.1) {
            ++moving;
            EXPECT_GT(sample.energy, 0.0) << "t " << sample.t;
            const double squareLeft = test::squareLeft(spec, sample.t) / 320.0;
            onTheSquare += sample.focus && sample.focus->y <= squareTop + 1.0 / rows &&
                           sample.focus->maxY() >= squareBottom - 1.0 / rows &&
                           sample.focus->contains(squareLeft, squareTop + 0.05);
        }
    }
    // Where many frame-number blocks flip at once they outweigh the square and take the focus.
    EXPECT_GE(static_cast<double>(onTheSquare), 0.8 * static_cast<double>(moving));

    ASSERT_EQ(progress.size(), analysis.samples.size());
    EXPECT_TRUE(std::ranges::is_sorted(progress));
    EXPECT_GE(progress.front(), 0.0);
    EXPECT_LE(progress.back(), 1.0);
    EXPECT_GT(progress.back(), 0.9);
}

TEST(ActivityVideo, MeasuresFramesByTheirOwnTimes)
{
    test::TempDir dir;
    struct Case {
        const char* name;
        double fps;
        std::vector<double> frameTimes;
        std::vector<std::size_t> measured; // indices of the frames measured
    };
    const Case cases[] = {
        {"60 frames a second: every fourth", 60, {}, {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56}},
        {"10 frames a second: every frame", 10, {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"uneven frames", 30, {0, 0.05, 1.0 / 15, 0.1, 0.2, 0.21, 0.3, 0.9}, {0, 2, 4, 6, 7}},
    };
    for (const Case& c : cases) {
        test::RecordingSpec spec;
        spec.fps = c.fps;
        spec.duration = 1;
        spec.frameTimes = c.frameTimes;
        const auto recording = test::makeRecording(dir / "rate.mp4", spec);
        const auto analysis = analyzeFile(recording.path);
        ASSERT_EQ(analysis.samples.size(), c.measured.size()) << c.name;
        for (std::size_t k = 0; k < c.measured.size(); ++k) {
            EXPECT_NEAR(analysis.samples[k].t, recording.frameTimes[c.measured[k]], 1e-4) << c.name << ", sample " << k;
        }
    }
}

TEST(ActivityVideo, SourceFactsGiveTheUprightSizeAndWhetherThereIsSound)
{
    test::TempDir dir;
    struct Case {
        int rotation;
        bool sound;
        int width;
        int height;
    };
    const Case cases[] = {{0, false, 320, 180}, {90, true, 180, 320}, {180, false, 320, 180}, {270, true, 180, 320}};
    for (const Case& c : cases) {
        test::RecordingSpec spec;
        spec.duration = 0.5;
        spec.fps = 25;
        spec.rotation = c.rotation;
        if (c.sound) {
            spec.sounds.push_back(test::SoundSpec::tone(440));
        }
        const auto recording = test::makeRecording(dir / "rotated.mp4", spec);
        const SourceInfo info = ActivityAnalyzer::sourceInfo(media::Asset::open(recording.path));
        EXPECT_EQ(info.width, c.width) << "rotation " << c.rotation;
        EXPECT_EQ(info.height, c.height) << "rotation " << c.rotation;
        EXPECT_DOUBLE_EQ(info.fps, 25) << "rotation " << c.rotation;
        EXPECT_EQ(info.hasAudio, c.sound) << "rotation " << c.rotation;
        // The analysis measures the stored picture and reports the same facts.
        const auto analysis = analyzeFile(recording.path);
        EXPECT_EQ(analysis.info, info);
        EXPECT_FALSE(analysis.samples.empty());
    }
}

TEST(ActivityVideo, FileWithoutVideoHasNoVideoTrack)
{
    test::TempDir dir;
    const auto file = test::makeAudioOnlyFile(dir / "sound.mp4", {test::SoundSpec::tone(440)}, 1);
    const auto expectNoVideo = [](const auto& call) {
        try {
            call();
            ADD_FAILURE() << "expected noVideoTrack";
        } catch (const RecordError& error) {
            EXPECT_EQ(error.kind(), RecordError::Kind::noVideoTrack);
            EXPECT_STREQ(error.what(), "The file has no video track.");
        }
    };
    expectNoVideo([&] { analyzeFile(file); });
    expectNoVideo([&] { ActivityAnalyzer::sourceInfo(media::Asset::open(file)); });
}

TEST(ActivityVideo, UnreadableFilesGiveAClearErrorAndCutFilesWhatTheyHold)
{
    test::TempDir dir;
    {
        std::ofstream(dir / "notes.mp4") << "These are notes, not a video.";
        std::ofstream(dir / "empty.mp4");
    }
    for (const char* name : {"missing.mp4", "notes.mp4", "empty.mp4"}) {
        EXPECT_THROW(analyzeFile(dir / name), media::MediaError) << name;
    }

    // A recording cut short, as a killed recorder leaves it: a clear error or the frames that
    // survived, never a crash.
    test::RecordingSpec spec;
    spec.duration = 2;
    spec.fragmented = true;
    const auto recording = test::makeRecording(dir / "whole.mp4", spec);
    const auto size = std::filesystem::file_size(recording.path);
    std::filesystem::copy_file(recording.path, dir / "cut.mp4");
    std::filesystem::resize_file(dir / "cut.mp4", size / 2);
    try {
        const auto analysis = analyzeFile(dir / "cut.mp4");
        EXPECT_LT(analysis.samples.size(), recording.frameTimes.size() / 2);
    } catch (const media::MediaError& error) {
        EXPECT_FALSE(error.message().empty());
    }
}

TEST(ActivityVideo, RefusesRatesAndGridsThatCannotBeMeasured)
{
    test::TempDir dir;
    const auto file = dir / "never-opened.mp4";
    EXPECT_THROW(ActivityAnalyzer::analyze(file, 0, cols, rows), std::invalid_argument);
    EXPECT_THROW(ActivityAnalyzer::analyze(file, std::nan(""), cols, rows), std::invalid_argument);
    EXPECT_THROW(ActivityAnalyzer::analyze(file, 15, 0, rows), std::invalid_argument);
    EXPECT_THROW(ActivityAnalyzer::analyze(file, 15, cols, 1 << 20), std::invalid_argument);
}

} // namespace
} // namespace vi
