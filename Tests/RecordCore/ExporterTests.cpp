#include "ExportTestProject.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/CompositorGeometry.h"
#include "RecordCore/Exporter.h"
#include "RecordCore/RecordError.h"
#include "Support/FrameBarcode.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"
#include "../Platform/Media/MediaTestReading.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;
namespace fs = std::filesystem;

nlohmann::json probe(const fs::path& file)
{
    const std::string command = "ffprobe -v error -count_frames -show_streams -of json '" + file.string() + "'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const size_t read = fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, read);
        pclose(pipe);
    }
    return nlohmann::json::parse(output, nullptr, false);
}

// Key frames of a file's video, by frame index.
std::vector<int> keyFrames(const fs::path& file)
{
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 '" +
                                file.string() + "'";
    std::vector<int> keys;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[64];
        for (int index = 0; fgets(line, sizeof line, pipe); ++index)
            if (line[0] == '1')
                keys.push_back(index);
        pclose(pipe);
    }
    return keys;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

ExportOptions smallOptions()
{
    ExportOptions options{test::plainExportProject()};
    options.fps = 30;
    options.scale = 1.0 / 6; // 320 x 180
    return options;
}

class ExporterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new test::TempDir;
        spec.duration = 4;
        spec.sounds = {test::SoundSpec::clicks(0.5)};
        recording = new test::SyntheticRecording(test::makeRecording(*dir / "screen.mp4", spec));
    }
    static void TearDownTestSuite()
    {
        delete recording;
        delete dir;
    }
    static test::TempDir* dir;
    static test::RecordingSpec spec;
    static test::SyntheticRecording* recording; // 320 x 180, 30 fps, 4 s, clicks every 0.5 s from 0.25 s
};
test::TempDir* ExporterTest::dir = nullptr;
test::RecordingSpec ExporterTest::spec;
test::SyntheticRecording* ExporterTest::recording = nullptr;

TEST(ExporterBitrate, AutomaticRatesFollowCanvasAndFrameRate)
{
    EXPECT_EQ(Exporter::automaticBitrate(1920, 1080, 60), 7464960);
    EXPECT_EQ(Exporter::automaticBitrate(3840, 2160, 60), 29859840);
    EXPECT_EQ(Exporter::automaticBitrate(1080, 1350, 30), 2624400);
    EXPECT_EQ(Exporter::automaticBitrate(1080, 1080, 30), 2099520);
}

TEST_F(ExporterTest, WritesH264HighBt709WithTheFrameCountAndSoundOnlyWhenTheSourceHasIt)
{
    const Plan plan = test::planOver(spec, {{0, 3.35, 1, Reason::normal}});
    const fs::path out = *dir / "tags.mp4";
    std::vector<double> progress;
    const ExportStats stats = Exporter::exportVideo(recording->path, plan, smallOptions(), out,
                                                    [&](double fraction) { progress.push_back(fraction); });
    EXPECT_EQ(stats.frames, 100); // floor(3.35 x 30)
    EXPECT_DOUBLE_EQ(stats.outputSeconds, 3.35);
    EXPECT_EQ(progress, (std::vector<double>{0.3, 0.6, 0.9}));

    const nlohmann::json info = probe(out);
    ASSERT_TRUE(info.contains("streams")) << info.dump();
    ASSERT_EQ(info["streams"].size(), 2u);
    const auto& video = info["streams"][0];
    EXPECT_EQ(video["codec_name"], "h264");
    EXPECT_EQ(video["profile"], "High");
    EXPECT_EQ(video["width"], 320);
    EXPECT_EQ(video["height"], 180);
    EXPECT_EQ(video["pix_fmt"], "yuv420p");
    EXPECT_EQ(video["color_primaries"], "bt709");
    EXPECT_EQ(video["color_transfer"], "bt709");
    EXPECT_EQ(video["color_space"], "bt709");
    EXPECT_EQ(video["nb_read_frames"], "100");
    const auto& sound = info["streams"][1];
    EXPECT_EQ(sound["codec_name"], "aac");
    EXPECT_EQ(sound["sample_rate"], "48000");
    EXPECT_EQ(sound["channels"], 2);
    // A key frame every 2 s of output (60 frames at 30 fps). The encoder starts counting its
    // first group after the opening key frame, so that one gap may be a frame longer.
    const std::vector<int> keys = keyFrames(out);
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[0], 0);
    EXPECT_GE(keys[1], 60);
    EXPECT_LE(keys[1], 61);
    for (size_t k = 2; k < keys.size(); ++k)
        EXPECT_LE(keys[k] - keys[k - 1], 60);

    // A camera-like clip has no sound: the export has none either.
    const test::RecordingSpec silentSpec;
    const auto silent = test::makeCameraClip(*dir / "silent.mp4", 1);
    const fs::path silentOut = *dir / "silent-out.mp4";
    Exporter::exportVideo(silent.path, test::planOver(silentSpec, {{0, 1, 1, Reason::normal}}), smallOptions(), silentOut);
    const nlohmann::json silentInfo = probe(silentOut);
    ASSERT_EQ(silentInfo["streams"].size(), 1u);
    EXPECT_EQ(silentInfo["streams"][0]["codec_type"], "video");
}

// Frame by frame: which source frame each output frame shows across a 1x stretch, a cut, a 4x
// stretch, another 1x stretch and a hold; and where the sound is.
TEST_F(ExporterTest, EveryOutputFrameShowsTheSourceFrameThePlanPutsThere)
{
    const double holdSpeed = 0.04 / 1.0; // 0.04 s of source played over 1 s
    const Plan plan = test::planOver(spec, {{0, 1, 1, Reason::normal},
                                            {1, 2, 1, Reason::cut},
                                            {2, 3, 4, Reason::idle},
                                            {3, 3.5, 1, Reason::normal},
                                            {3.5, 3.54, holdSpeed, Reason::hold}});
    const fs::path out = *dir / "frames.mp4";
    ExportOptions options = smallOptions();
    options.project.padding = 0;
    options.project.radius = 0;
    const ExportStats stats = Exporter::exportVideo(recording->path, plan, options, out);
    ASSERT_EQ(stats.frames, 82); // floor((1 + 0.25 + 0.5 + 1) x 30)

    const std::vector<test::ReadFrame> frames = test::readAllFrames(media::Asset::open(out));
    ASSERT_EQ(frames.size(), 82u);
    for (size_t i = 0; i < frames.size(); ++i) {
        const double t = static_cast<double>(i) / 30;
        int expected = 0;
        for (size_t k = 0; k < recording->frameTimes.size(); ++k)
            if (plan.outputTime(recording->frameTimes[k]) <= t + 1e-6)
                expected = static_cast<int>(k);
        EXPECT_EQ(frames[i].index, expected) << "output frame " << i;
    }

    const test::ReadSound sound = test::readAllSound(media::Asset::open(out));
    const std::vector<double> found = test::onsets(sound, 0.2);
    // Clicks at source 0.25 and 0.75 (1x), none in the 4x stretch (source 2 .. 3) or the hold,
    // and source 3.25 at output 1.25 + 0.25.
    const std::vector<double> expected{0.25, 0.75, 1.5};
    ASSERT_EQ(found.size(), expected.size());
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(found[k], expected[k], 0.01) << k;
    EXPECT_LT(test::rms(sound, 1.0, 1.25), 0.002);
    EXPECT_LT(test::rms(sound, 1.76, 2.7), 0.002);
}

// The camera bubble, made large and square so its frames' barcodes can be read back: a camera
// that started 0.5 s after the screen follows the screen through a 2x stretch.
TEST_F(ExporterTest, TheBubbleShowsTheCameraFrameOfTheSameMoment)
{
    test::RecordingSpec cameraSpec;
    cameraSpec.width = 192;
    cameraSpec.height = 192;
    cameraSpec.duration = 3;
    const auto camera = test::makeRecording(*dir / "camera.mp4", cameraSpec);
    constexpr double offset = 0.5;
    InputLog log;
    log.cameraOffset = offset;
    ExportOptions options = smallOptions();
    options.log = log;
    options.camera = camera.path;
    options.bitrate = 3'000'000;
    options.project.cameraShape = "square";
    options.project.cameraSize = 0.9;
    options.project.cameraCorner = "mc";
    options.project.cameraMirror = false;
    const Plan plan = test::planOver(spec, {{0, 1, 1, Reason::normal}, {1, 3, 2, Reason::idle}, {3, 4, 1, Reason::normal}});
    const fs::path out = *dir / "camera-out.mp4";
    Exporter::exportVideo(recording->path, plan, options, out);

    const auto style = CameraStyle::of(options.project);
    ASSERT_TRUE(style);
    const auto bubble = CompositorGeometry::bubble(*style, 320, 180, 1.0 / 6, OutputFormat::youtube, false);
    const int side = static_cast<int>(bubble.rect.width);
    const int left = static_cast<int>(bubble.rect.x);
    const int top = 180 - static_cast<int>(bubble.rect.y) - side; // the geometry's origin is bottom-left
    media::VideoTrackReader reader(media::Asset::open(out));
    int checked = 0;
    for (int i = 0; auto frame = reader.next(); ++i) {
        const double c = plan.sourceTime(i / 30.0) - offset;
        if (c < 0 || c > 2.9)
            continue;
        int expected = 0;
        for (size_t k = 0; k < camera.frameTimes.size(); ++k)
            if (camera.frameTimes[k] <= c + 1e-6)
                expected = static_cast<int>(k);
        const media::PixelBuffer& picture = frame->picture;
        const auto inBubble = media::ImageView::bgra(picture.data(0) + top * picture.stride(0) + 4 * left, side, side,
                                                     picture.stride(0));
        EXPECT_EQ(test::FrameBarcode::read(inBubble), expected) << "output frame " << i;
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

TEST_F(ExporterTest, ColoursComeBackAsTheyWentIn)
{
    ExportOptions options = smallOptions();
    options.project.solidColor = "3366CC";
    const fs::path out = *dir / "colour.mp4";
    Exporter::exportVideo(recording->path, test::planOver(spec, {{0, 0.5, 1, Reason::normal}}), options, out);
    media::VideoTrackReader reader(media::Asset::open(out));
    const auto frame = reader.next();
    ASSERT_TRUE(frame);
    // The backdrop's corner, far from the window and its shadow.
    const uint8_t* pixel = frame->picture.data(0) + 4 * frame->picture.stride(0) + 4 * 4;
    EXPECT_NEAR(pixel[2], 0x33, 4);
    EXPECT_NEAR(pixel[1], 0x66, 4);
    EXPECT_NEAR(pixel[0], 0xCC, 4);
}

TEST_F(ExporterTest, FailuresAreClearAndLeaveAnEarlierExportAsItWas)
{
    const Plan plan = test::planOver(spec, {{0, 1, 1, Reason::normal}});
    const fs::path out = *dir / "kept.mp4";
    { std::ofstream(out) << "an earlier export"; }
    auto expectKept = [&] {
        EXPECT_EQ(contents(out), "an earlier export");
        for (const auto& entry : fs::directory_iterator(dir->path()))
            EXPECT_EQ(entry.path().filename().string().find(".writing"), std::string::npos) << entry.path();
    };

    ExportOptions badRate = smallOptions();
    for (const double fps : {0.0, -30.0, std::nan(""), double(INFINITY)}) {
        badRate.fps = fps;
        EXPECT_THROW(Exporter::exportVideo(recording->path, plan, badRate, out), RecordError) << fps;
    }
    ExportOptions badScale = smallOptions();
    badScale.scale = 0;
    EXPECT_THROW(Exporter::exportVideo(recording->path, plan, badScale, out), RecordError);
    expectKept();

    const fs::path soundOnly = test::makeAudioOnlyFile(*dir / "sound.m4a", {test::SoundSpec::tone(440)}, 1);
    try {
        Exporter::exportVideo(soundOnly, plan, smallOptions(), out);
        ADD_FAILURE() << "a file without video was exported";
    } catch (const RecordError& error) {
        EXPECT_EQ(error.kind(), RecordError::Kind::noVideoTrack);
    }
    expectKept();

    const fs::path truncated = *dir / "truncated.mp4";
    fs::copy_file(recording->path, truncated);
    fs::resize_file(truncated, fs::file_size(truncated) / 2);
    EXPECT_THROW(Exporter::exportVideo(truncated, plan, smallOptions(), out), media::MediaError);
    expectKept();

    const fs::path notAFolder = *dir / "file";
    { std::ofstream(notAFolder) << "x"; }
    try {
        Exporter::exportVideo(recording->path, plan, smallOptions(), notAFolder / "out.mp4");
        ADD_FAILURE() << "an export into a file's path succeeded";
    } catch (const RecordError& error) {
        EXPECT_EQ(error.kind(), RecordError::Kind::writeFailed);
        EXPECT_EQ(std::string(error.what()).rfind("Could not write the video: ", 0), 0u) << error.what();
    }
}

// A disk that fills mid-export: the child may write no file larger than 20 kB.
TEST_F(ExporterTest, AFullDiskFailsTheExportAndKeepsTheEarlierFile)
{
    test::RecordingSpec bigger = spec;
    bigger.duration = 2;
    bigger.sounds = {};
    const auto source = test::makeRecording(*dir / "full-source.mp4", bigger);
    const fs::path out = *dir / "full.mp4";
    { std::ofstream(out) << "an earlier export"; }
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        execl(VI_EXPORT_FILE_SIZE_CHILD, VI_EXPORT_FILE_SIZE_CHILD, source.path.c_str(), out.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3); // "Could not write the video: ..."
    EXPECT_EQ(contents(out), "an earlier export");
    EXPECT_FALSE(fs::exists(*dir / ".full.mp4.writing"));
}

} // namespace
} // namespace vi
