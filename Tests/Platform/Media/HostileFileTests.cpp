#include "MediaTestReading.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/AudioTrackReader.h"
#include "Platform/Media/MediaError.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

namespace vi::media {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(HostileFiles, OpeningGivesAClearErrorNeverACrash)
{
    test::TempDir dir;
    const auto good = test::makeRecording(dir / "good.mp4", test::RecordingSpec{.duration = 1, .sounds = {test::SoundSpec::tone(440)}});
    const std::string goodBytes = readBytes(good.path);

    struct Case {
        const char* name;
        std::function<fs::path()> make;
        const char* reason;
    };
    const Case cases[] = {
        {"missing", [&] { return dir / "nothing-here.mp4"; }, "it does not exist"},
        {"folder", [&] { return dir.path(); }, "it is a folder, not a file"},
        {"empty", [&] { writeBytes(dir / "empty.mp4", ""); return dir / "empty.mp4"; }, "the file is empty"},
        {"text", [&] { writeBytes(dir / "notes.mp4", "These are my notes, not a video.\n"); return dir / "notes.mp4"; },
         "it is not a video or sound file that can be read"},
        {"noise",
         [&] {
             std::mt19937 random(7);
             std::string noise(64 * 1024, '\0');
             for (char& c : noise)
                 c = static_cast<char>(random());
             writeBytes(dir / "noise.mp4", noise);
             return dir / "noise.mp4";
         },
         "it is not a video or sound file that can be read"},
        {"header only", [&] { writeBytes(dir / "head.mp4", goodBytes.substr(0, 40)); return dir / "head.mp4"; },
         "it is not a video or sound file that can be read"},
        // The index of an unfragmented file comes last: without it nothing can be found.
        {"truncated", [&] { writeBytes(dir / "cut.mp4", goodBytes.substr(0, goodBytes.size() * 6 / 10)); return dir / "cut.mp4"; },
         "it is not a video or sound file that can be read"},
        {"zero duration",
         [&] {
             AssetWriter writer(dir / "zero.mp4");
             writer.addVideoTrack({.width = 64, .height = 36});
             writer.start();
             writer.startSession(MediaTime{});
             writer.finish(MediaTime{});
             return dir / "zero.mp4";
         },
         "it holds no video or sound"},
    };
    for (const Case& c : cases) {
        const fs::path path = c.make();
        try {
            Asset::open(path);
            ADD_FAILURE() << c.name << " opened";
        } catch (const MediaError& error) {
            EXPECT_EQ(error.kind(), MediaErrorKind::openFailed) << c.name;
            EXPECT_EQ(error.reason(), c.reason) << c.name;
            EXPECT_EQ(error.message(), std::string("Could not open the file: ") + c.reason + ".") << c.name;
            EXPECT_FALSE(error.detail().empty()) << c.name;
        }
    }
}

TEST(HostileFiles, DamagedSamplesEndInAnErrorOrFewerFramesNeverACrash)
{
    test::TempDir dir;
    const auto good = test::makeRecording(dir / "good.mp4", test::RecordingSpec{.duration = 1, .sounds = {test::SoundSpec::tone(440)}});
    std::string bytes = readBytes(good.path);
    // Scribble over the middle of the sample data, leaving the index at the end intact.
    std::mt19937 random(11);
    for (size_t i = bytes.size() / 5; i < bytes.size() / 2; i += 3)
        bytes[i] = static_cast<char>(random());
    writeBytes(dir / "damaged.mp4", bytes);

    const Asset asset = Asset::open(dir / "damaged.mp4");
    try {
        const auto frames = test::readAllFrames(asset);
        EXPECT_LE(frames.size(), 30u);
        const auto sound = test::readAllSound(asset);
        EXPECT_LE(sound.frames(), 48000u + 2048u);
    } catch (const MediaError& error) {
        EXPECT_EQ(error.kind(), MediaErrorKind::readFailed);
        EXPECT_FALSE(error.detail().empty());
    }
}

} // namespace
} // namespace vi::media
