// The preview composes every frame by the export's pipeline: a frame the player shows at an
// output time is the frame the export wrote for that time, up to the export's compression.
#include "ExportTestProject.h"
#include "Platform/Media/Asset.h"
#include "Platform/Media/Player.h"
#include "Platform/Media/VideoTrackReader.h"
#include "RecordCore/Exporter.h"
#include "RecordCore/Preview.h"
#include "Support/FrameBarcode.h"
#include "Support/RecordingSink.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cmath>
#include <thread>

namespace vi {
namespace {

using namespace std::chrono_literals;
using Reason = SpeedSegment::Reason;

constexpr int kCellsAcross = 16;
constexpr int kCellsDown = 9;
// The export is H.264: a cell's mean colour moves this much at most (a few levels in practice,
// more where the square moves fast).
constexpr double kCellTolerance = 14;

struct CellMeans {
    std::vector<double> values; // B, G, R per cell, row by row
};

CellMeans cellMeans(const media::PixelBuffer& bgra) {
    CellMeans means;
    const int cellWidth = bgra.width() / kCellsAcross;
    const int cellHeight = bgra.height() / kCellsDown;
    for (int cy = 0; cy < kCellsDown; ++cy)
        for (int cx = 0; cx < kCellsAcross; ++cx)
            for (int channel = 0; channel < 3; ++channel) {
                double sum = 0;
                for (int y = cy * cellHeight; y < (cy + 1) * cellHeight; ++y)
                    for (int x = cx * cellWidth; x < (cx + 1) * cellWidth; ++x)
                        sum += bgra.data()[y * bgra.stride() + x * 4 + channel];
                means.values.push_back(sum / (cellWidth * cellHeight));
            }
    return means;
}

void save(const media::PixelBuffer& bgra, const std::string& name) {
    QImage(bgra.data(), bgra.width(), bgra.height(), int(bgra.stride()), QImage::Format_ARGB32)
        .save(QString::fromStdString((test::outputDirectory() / name).string()));
}

} // namespace

TEST(PreviewMatchesExport, PausedFramesAreTheExportedFramesAtTheSameTimesAcrossASpeedUp) {
    test::TempDir folder;
    test::RecordingSpec spec;
    spec.duration = 3;
    spec.motionStart = 0; // the picture changes from frame to frame
    const auto recording = test::makeRecording(folder.path() / "recording.mp4", spec);
    // 1 s at 1x, 1.2 s of source at 4x (0.3 s of output), then 0.8 s at 1x: 2.1 s of output.
    const Plan plan = test::planOver(spec, {{0, 1, 1, Reason::normal}, {1, 2.2, 4, Reason::idle}, {2.2, 3, 1, Reason::normal}});
    Project project = test::plainExportProject();
    project.padding = 0; // the recording fills the canvas, so its frame barcodes can be read back
    project.radius = 0;

    ExportOptions options{project};
    options.fps = Preview::frameRate;
    options.scale = 1.0 / 6; // 320 x 180: the preview's canvas, smaller
    options.bitrate = 3'000'000; // plenty for the size, so compression stays well inside the tolerance
    const auto exported = folder.path() / "export.mp4";
    Exporter::exportVideo(recording.path, plan, options, exported);
    std::vector<media::PixelBuffer> exportFrames;
    {
        media::VideoTrackReader reader(media::Asset::open(exported));
        while (auto frame = reader.next()) exportFrames.push_back(frame->picture);
    }
    ASSERT_GE(exportFrames.size(), 124u); // about 2.1 s at 60 a second

    const auto built = Preview::build(recording.path, plan, project, std::nullopt, std::nullopt);
    test::RecordingSink sink;
    media::PlayerOptions playerOptions;
    playerOptions.sound = false;
    media::Player player(sink, playerOptions);
    player.replaceItem(built.composition, built.videoComposition);
    ASSERT_TRUE(sink.waitFor(1, 20s));

    // Inside the first stretch, either side of the speed-up's edges, inside it, and after it;
    // out of order, so seeks go back as well as forward.
    const double times[] = {0.5, 1.2, 0.0, 1.0 + 1.0 / 60, 1.25, 0.99, 1.3, 2.05, 1.7};
    for (const double time : times) {
        const size_t seen = sink.count();
        player.seek(time);
        ASSERT_TRUE(sink.waitFor(seen + 1, 20s)) << "no frame after a seek to " << time;
        const auto shown = *sink.last();
        const int index = int(std::floor(time * Preview::frameRate + 1e-6));
        EXPECT_NEAR(shown.time, index / Preview::frameRate, 1e-6);
        const media::PixelBuffer& exportFrame = exportFrames.at(size_t(index));

        const auto previewCode = test::FrameBarcode::read(shown.picture.view());
        const auto exportCode = test::FrameBarcode::read(exportFrame.view());
        ASSERT_TRUE(previewCode && exportCode) << time;
        EXPECT_EQ(*previewCode, *exportCode) << "the same source frame at output " << time;

        const CellMeans preview = cellMeans(shown.picture);
        const CellMeans exportMeans = cellMeans(exportFrame);
        double worst = 0;
        for (size_t k = 0; k < preview.values.size(); ++k)
            worst = std::max(worst, std::abs(preview.values[k] - exportMeans.values[k]));
        EXPECT_LT(worst, kCellTolerance) << "output " << time;
        if (worst >= kCellTolerance) {
            save(shown.picture, "preview-" + std::to_string(index) + ".png");
            save(exportFrame, "export-" + std::to_string(index) + ".png");
        }
    }
}

} // namespace vi
