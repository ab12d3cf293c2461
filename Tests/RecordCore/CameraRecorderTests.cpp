#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/V4l2Camera.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/CameraRecorder.h"
#include "RecordCore/RecordError.h"
#include "Support/FileSizeLimit.h"
#include "Support/TestOutput.h"
#include "Support/X11TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

using namespace vi;

namespace {

// A camera driven by the test: frames are handed over when the test says, on the test's thread.
class FakeCamera final : public capture::CameraSource {
public:
    explicit FakeCamera(std::string failure = {}) : failure_(std::move(failure)) {}
    void start(Delegate delegate) override {
        if (!failure_.empty()) throw capture::CaptureError(failure_);
        delegate_ = std::move(delegate);
    }
    void stop() override { delegate_ = {}; }
    std::string name() const override { return "Fake"; }

    // A flat picture of one Y'CbCr colour.
    void deliver(capture::CameraFrame::Format format, int width, int height, double time, std::uint8_t y,
                 std::uint8_t cb, std::uint8_t cr) {
        capture::CameraFrame frame;
        frame.format = format;
        frame.width = width;
        frame.height = height;
        frame.time = time;
        if (format == capture::CameraFrame::Format::nv12) {
            pixels_.assign(static_cast<std::size_t>(width) * height, y);
            chroma_.resize(static_cast<std::size_t>(width) * ((height + 1) / 2));
            for (std::size_t i = 0; i + 1 < chroma_.size(); i += 2) {
                chroma_[i] = cb;
                chroma_[i + 1] = cr;
            }
            frame.planes[0] = pixels_.data();
            frame.planes[1] = chroma_.data();
            frame.strides[0] = frame.strides[1] = width;
        } else {
            pixels_.resize(static_cast<std::size_t>(width) * 2 * height);
            for (std::size_t i = 0; i + 3 < pixels_.size(); i += 4) {
                pixels_[i] = y;
                pixels_[i + 1] = cb;
                pixels_[i + 2] = y;
                pixels_[i + 3] = cr;
            }
            frame.planes[0] = pixels_.data();
            frame.strides[0] = width * 2;
        }
        if (delegate_.onFrame) delegate_.onFrame(frame);
    }

private:
    std::string failure_;
    Delegate delegate_;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> chroma_;
};

CameraRecorder::CameraFactory handing(FakeCamera*& out, std::string failure = {}) {
    return [&out, failure]() -> std::unique_ptr<capture::CameraSource> {
        auto camera = std::make_unique<FakeCamera>(failure);
        out = camera.get();
        return camera;
    };
}

} // namespace

TEST(CameraRecorder, WithoutACameraStartFailsWithNoCameraAndWritesNothing) {
    test::TempDir folder;
    // The computer's own default camera: these machines have none.
    if (!capture::V4l2Camera::list().empty()) GTEST_SKIP() << "a camera is attached";
    CameraRecorder recorder;
    EXPECT_FALSE(CameraRecorder::requestAccess());
    try {
        recorder.start(folder / "camera.mp4");
        FAIL();
    } catch (const RecordError& error) {
        EXPECT_EQ(error.message(), "no camera");
    }
    recorder.stop();
    EXPECT_FALSE(std::filesystem::exists(folder / "camera.mp4"));
    EXPECT_FALSE(recorder.firstFrameTime());
}

TEST(CameraRecorder, StartFailuresOfTheCameraBecomeTheirErrors) {
    test::TempDir folder;
    FakeCamera* camera = nullptr;
    for (const std::string message : {"camera busy", "camera output"}) {
        CameraRecorder recorder(handing(camera, message));
        try {
            recorder.start(folder / "camera.mp4");
            FAIL() << message;
        } catch (const RecordError& error) {
            EXPECT_EQ(error.message(), message);
        }
    }
    CameraRecorder recorder(handing(camera, "Permission denied"));
    EXPECT_THROW(recorder.start(folder / "camera.mp4"), capture::CaptureError);
}

TEST(CameraRecorder, WritesFramesOfEitherLayoutAtAnEvenSizeFromTheFirstFrame) {
    using Format = capture::CameraFrame::Format;
    for (const auto format : {Format::nv12, Format::yuyv}) {
        test::TempDir folder;
        const auto file = folder / "camera.mp4";
        std::ofstream(file) << "stale";
        FakeCamera* camera = nullptr;
        CameraRecorder recorder(handing(camera));
        recorder.start(file);
        EXPECT_FALSE(std::filesystem::exists(file)) << "a stale file goes at start";
        const double start = 500.25;
        for (int i = 0; i < 15; ++i) camera->deliver(format, 322, 182, start + i / 30.0, 150, 90, 200);
        recorder.stop();
        ASSERT_TRUE(recorder.firstFrameTime());
        EXPECT_DOUBLE_EQ(*recorder.firstFrameTime(), start);

        const auto asset = media::Asset::open(file);
        ASSERT_EQ(asset.tracks().size(), 1u);
        EXPECT_EQ(asset.tracks()[0].codec, "h264");
        EXPECT_EQ(asset.tracks()[0].codedWidth, 322);
        EXPECT_EQ(asset.tracks()[0].codedHeight, 182);
        media::VideoTrackReader reader(asset, {0, media::VideoOutput::native});
        int frames = 0;
        std::optional<media::VideoFrame> first;
        while (auto frame = reader.next()) {
            if (!first) first = frame;
            ++frames;
        }
        EXPECT_EQ(frames, 15);
        ASSERT_TRUE(first);
        EXPECT_NEAR(first->seconds(), 0.0, 1e-3);
        EXPECT_NEAR(first->picture.data(0)[100], 150, 3) << "luma as captured";
    }
}

TEST(CameraRecorder, OddSizesAreMadeEvenAndNothingIsWrittenWithoutFramesOrAPlaceToWrite) {
    {
        test::TempDir folder;
        FakeCamera* camera = nullptr;
        CameraRecorder recorder(handing(camera));
        recorder.start(folder / "camera.mp4");
        camera->deliver(capture::CameraFrame::Format::nv12, 1281, 721, 10, 80, 128, 128);
        camera->deliver(capture::CameraFrame::Format::nv12, 1281, 721, 10.04, 80, 128, 128);
        recorder.stop();
        const auto asset = media::Asset::open(folder / "camera.mp4");
        EXPECT_EQ(asset.tracks()[0].codedWidth, 1280);
        EXPECT_EQ(asset.tracks()[0].codedHeight, 720);
    }
    {
        test::TempDir folder;
        FakeCamera* camera = nullptr;
        CameraRecorder recorder(handing(camera));
        recorder.start(folder / "camera.mp4");
        recorder.stop();
        EXPECT_FALSE(recorder.firstFrameTime());
        EXPECT_FALSE(std::filesystem::exists(folder / "camera.mp4"));
    }
    {
        FakeCamera* camera = nullptr;
        CameraRecorder recorder(handing(camera));
        recorder.start("/proc/vi-nowhere/camera.mp4");
        for (int i = 0; i < 3; ++i) camera->deliver(capture::CameraFrame::Format::nv12, 64, 48, 1 + i / 30.0, 80, 128, 128);
        EXPECT_NO_THROW(recorder.stop());
        EXPECT_FALSE(recorder.firstFrameTime());
        EXPECT_FALSE(recorder.diagnostics().empty());
    }
}

// Frames were taken but the file cannot be completed (the disk filled up at the end): no broken
// camera file is left for the editor, and the log says why.
TEST(CameraRecorder, AFileThatCannotBeFinishedIsRemovedAndHasNoFirstFrame) {
    test::TempDir folder;
    const auto file = folder / "camera.mp4";
    FakeCamera* camera = nullptr;
    CameraRecorder recorder(handing(camera));
    recorder.start(file);
    // Less than one fragment, so that everything after the file's start is written when finishing.
    for (int i = 0; i < 5; ++i) camera->deliver(capture::CameraFrame::Format::nv12, 320, 240, 10 + i / 30.0, 80, 128, 128);
    ASSERT_TRUE(recorder.firstFrameTime());
    {
        test::FileSizeLimit limit(std::filesystem::file_size(file));
        EXPECT_NO_THROW(recorder.stop());
    }
    EXPECT_FALSE(recorder.firstFrameTime());
    EXPECT_FALSE(std::filesystem::exists(file));
    const auto diagnostics = recorder.diagnostics();
    EXPECT_TRUE(std::any_of(diagnostics.begin(), diagnostics.end(), [](const std::string& line) {
        return line.find("could not be finished") != std::string::npos;
    }));
}
