#include "MediaTestReading.h"
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/MediaError.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vi::media {
namespace {

namespace fs = std::filesystem;

const VideoTrackSettings kSmall{.width = 64, .height = 36, .expectedFrameRate = 30};

PixelBuffer greyPicture(AssetWriter& writer, int track)
{
    PixelBuffer picture = writer.pixelBufferPool(track).acquire();
    std::fill_n(picture.data(0), picture.stride(0) * picture.height(), uint8_t{128});
    return picture;
}

MediaError caught(const std::function<void()>& step)
{
    try {
        step();
    } catch (const MediaError& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return MediaError(MediaErrorKind::invalidArgument, "none");
}

TEST(WriterErrors, AMissingFolderFailsAtStartWithTheLibrarysTextInTheDetail)
{
    test::TempDir dir;
    AssetWriter writer(dir / "no-such-folder" / "out.mp4");
    writer.addVideoTrack(kSmall);
    const MediaError error = caught([&] { writer.start(); });
    EXPECT_EQ(error.kind(), MediaErrorKind::writeFailed);
    EXPECT_EQ(error.message(), "Could not write the video: its folder does not exist.");
    EXPECT_NE(error.detail().find("No such file or directory"), std::string::npos) << error.detail();
}

TEST(WriterErrors, AFullDiskFailsTheWriterAndEveryLaterCallSaysSo)
{
    AssetWriter writer("/dev/full", WriterOptions{.fragmented = true});
    const int track = writer.addVideoTrack(kSmall);
    std::optional<MediaError> first;
    try {
        writer.start();
        writer.startSession(MediaTime{});
        for (int i = 0; i < 90 && !first; ++i)
            writer.appendVideo(track, greyPicture(writer, track), MediaTime{i, 30});
        writer.finish();
    } catch (const MediaError& error) {
        first = error;
    }
    ASSERT_TRUE(first);
    EXPECT_EQ(first->reason(), "the disk is full");
    EXPECT_EQ(writer.status(), AssetWriter::Status::failed);
    const MediaError later = caught([&] { writer.finish(); });
    EXPECT_EQ(later.reason(), "the disk is full");
}

TEST(WriterErrors, CallersMistakesAreRefusedAndTheWriterGoesOn)
{
    test::TempDir dir;
    AssetWriter writer(dir / "out.mp4");
    EXPECT_EQ(caught([&] { writer.addVideoTrack({.width = 63, .height = 36}); }).kind(), MediaErrorKind::invalidArgument);
    EXPECT_EQ(caught([&] { writer.addVideoTrack({.width = 64, .height = 36, .expectedFrameRate = 0}); }).kind(),
              MediaErrorKind::invalidArgument);
    EXPECT_EQ(caught([&] { writer.start(); }).kind(), MediaErrorKind::invalidArgument); // no tracks yet
    const int video = writer.addVideoTrack(kSmall);
    const int sound = writer.addAudioTrack();
    writer.start();
    EXPECT_EQ(caught([&] { writer.appendVideo(video, greyPicture(writer, video), MediaTime{}); }).kind(),
              MediaErrorKind::invalidArgument); // no session yet
    writer.startSession(MediaTime{});
    writer.appendVideo(video, greyPicture(writer, video), MediaTime{1, 30});
    EXPECT_EQ(caught([&] { writer.appendVideo(video, greyPicture(writer, video), MediaTime{1, 30}); }).kind(),
              MediaErrorKind::invalidArgument); // not after the previous frame
    EXPECT_EQ(caught([&] { writer.appendVideo(sound, greyPicture(writer, video), MediaTime{2, 30}); }).kind(),
              MediaErrorKind::invalidArgument); // not a video track
    EXPECT_EQ(caught([&] { writer.appendVideo(video, ImageView{}, MediaTime{2, 30}); }).kind(),
              MediaErrorKind::invalidArgument); // no picture
    writer.appendVideo(video, greyPicture(writer, video), MediaTime{2, 30});
    writer.finish(MediaTime{3, 30});
    EXPECT_EQ(writer.status(), AssetWriter::Status::completed);
    EXPECT_EQ(test::readAllFrames(Asset::open(dir / "out.mp4")).size(), 2u);
}

TEST(WriterErrors, AnUnfinishedFileNeverReplacesAGoodOne)
{
    test::TempDir dir;
    const fs::path path = dir / "export.mp4";
    std::ofstream(path) << "the previous export";
    {
        AssetWriter writer(path);
        const int track = writer.addVideoTrack(kSmall);
        writer.start();
        writer.startSession(MediaTime{});
        writer.appendVideo(track, greyPicture(writer, track), MediaTime{});
    } // dropped without finishing
    {
        AssetWriter writer(path);
        writer.addVideoTrack(kSmall);
        writer.start();
        writer.cancel();
    }
    std::ifstream kept(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the previous export");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1); // no leftovers
}

TEST(WriterErrors, AFragmentedRecordingIsKeptWhenDroppedAndDeletedWhenCancelled)
{
    for (const bool cancel : {false, true}) {
        test::TempDir dir;
        const fs::path path = dir / "recording.mp4";
        {
            AssetWriter writer(path, WriterOptions{.fragmented = true, .fragmentSeconds = 0.1});
            const int track = writer.addVideoTrack(kSmall);
            writer.start();
            writer.startSession(MediaTime{});
            for (int i = 0; i < 30; ++i)
                writer.appendVideo(track, greyPicture(writer, track), MediaTime{i, 30});
            if (cancel)
                writer.cancel();
        } // dropped without finishing, as when the recording process ends badly
        EXPECT_EQ(fs::exists(path), !cancel);
        if (!cancel) {
            EXPECT_GE(test::readAllFrames(Asset::open(path)).size(), 15u);
        }
    }
}

} // namespace
} // namespace vi::media
