#include "MediaTestReading.h"
#include "Platform/Media/AssetWriter.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace vi::media {
namespace {

// Starts the writer child with its stdout on a pipe; returns its pid and the pipe's read end.
std::pair<pid_t, int> startChild(const std::filesystem::path& output, int readyAfter)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        const std::string frames = std::to_string(readyAfter);
        execl(VI_FRAGMENTED_WRITER_CHILD, VI_FRAGMENTED_WRITER_CHILD, output.c_str(), frames.c_str(), nullptr);
        _exit(127);
    }
    close(pipeEnds[1]);
    return {pid, pipeEnds[0]};
}

// The types of a file's top-level boxes, in order.
std::vector<std::string> topLevelBoxes(const std::filesystem::path& path)
{
    std::vector<std::string> types;
    std::ifstream in(path, std::ios::binary);
    const auto size = static_cast<uint64_t>(std::filesystem::file_size(path));
    for (uint64_t at = 0; at + 8 <= size;) {
        unsigned char header[16] = {};
        in.seekg(static_cast<std::streamoff>(at));
        in.read(reinterpret_cast<char*>(header), static_cast<std::streamsize>(std::min<uint64_t>(16, size - at)));
        uint64_t length = uint64_t(header[0]) << 24 | uint64_t(header[1]) << 16 | uint64_t(header[2]) << 8 | header[3];
        if (length == 1)
            for (int i = 8; i < 16; ++i)
                length = (i == 8 ? 0 : length << 8) | header[i];
        types.emplace_back(reinterpret_cast<const char*>(header + 4), 4);
        if (length < 8)
            break;
        at += length;
    }
    return types;
}

TEST(FragmentedWriter, AKilledWriterLeavesAPlayableFileUpToItsLastFragment)
{
    test::TempDir dir;
    const auto output = dir / "recording.mp4";
    constexpr int kReadyAfter = 90; // 3 s of media handed to the writer
    const auto [pid, fromChild] = startChild(output, kReadyAfter);
    ASSERT_GT(pid, 0);
    char line[16] = {};
    const ssize_t got = read(fromChild, line, sizeof line - 1);
    close(fromChild);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_GT(got, 0) << "the writer child ended before it was ready";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const Asset asset = Asset::open(output);
    ASSERT_TRUE(asset.hasVideo());
    ASSERT_TRUE(asset.hasAudio());
    EXPECT_DOUBLE_EQ(asset.videoTracks()[0].nominalFrameRate, 30);
    const auto frames = test::readAllFrames(asset);
    // Fragments hold at most half a second, the muxer waits a quarter of a second for the other
    // track, and the encoder keeps up to about half a second of frames in flight: all but the
    // last one and a half seconds handed over must be there, in order.
    ASSERT_GE(frames.size(), static_cast<size_t>(kReadyAfter - 45));
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].index, static_cast<int>(i));
        EXPECT_NEAR(frames[i].seconds, static_cast<double>(i) / 30, 0.001);
    }
    const auto sound = test::readAllSound(asset);
    EXPECT_GE(static_cast<double>(sound.frames()) / 48000, (kReadyAfter - 45) / 30.0);
    EXPECT_NEAR(test::measuredFrequency(sound, 0.1, 1.9), 440, 2);
}

TEST(FragmentedWriter, AFinishedFragmentedFileReadsLikeAnyOther)
{
    test::TempDir dir;
    test::RecordingSpec spec;
    spec.fragmented = true;
    spec.sounds = {test::SoundSpec::tone(440)};
    const auto made = test::makeRecording(dir / "recording.mp4", spec);
    const Asset asset = Asset::open(made.path);
    EXPECT_NEAR(asset.durationSeconds(), 2.0, 0.03);
    const auto frames = test::readAllFrames(asset);
    ASSERT_EQ(frames.size(), made.frameTimes.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].index, static_cast<int>(i));
    // Finished, the fragments sit inside one media box with a complete index after it, so readers
    // open it as a plain MP4 instead of walking every fragment.
    EXPECT_EQ(topLevelBoxes(made.path), (std::vector<std::string>{"ftyp", "mdat", "moov"}));
}

} // namespace
} // namespace vi::media
