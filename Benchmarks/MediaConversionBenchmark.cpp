// What colour conversion adds to decoding and encoding a 1080p60 recording. Reading to BGRA is
// measured against reading the decoder's own planes, and writing from BGRA against writing the
// same pictures already in 4:2:0, both at the same thread count in the same run. Target: BGRA
// costs at most 1.25x the bare decode, and at most 1.1x the bare encode.
#include "Platform/Media/AssetWriter.h"
#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace vi;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kFps = 60, kSeconds = 3;
constexpr int64_t kBitRate = 7'464'960; // the automatic export rate at 1080p60
constexpr double kReadTarget = 1.25, kWriteTarget = 1.1;
// The median of a few rounds, so one slow round on a shared machine does not decide.
constexpr int kRounds = 3;

double secondsOf(const std::function<void()>& run)
{
    std::vector<double> rounds;
    for (int i = 0; i < kRounds; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        run();
        rounds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

int readAll(const media::Asset& asset, media::VideoOutput output)
{
    media::VideoTrackReader reader(asset, {.output = output});
    int frames = 0;
    while (reader.next())
        ++frames;
    return frames;
}

void writeAll(const std::filesystem::path& path, const std::vector<media::PixelBuffer>& pictures)
{
    media::AssetWriter writer(path);
    const int track = writer.addVideoTrack({.width = kWidth, .height = kHeight, .averageBitRate = kBitRate,
                                            .expectedFrameRate = kFps, .maxKeyFrameInterval = 120});
    writer.start();
    writer.startSession(media::MediaTime{});
    for (size_t i = 0; i < pictures.size(); ++i)
        writer.appendVideo(track, pictures[i], media::MediaTime{static_cast<int64_t>(i) * 1000, media::kMediaTimescale});
    writer.finish();
}

void report(const char* what, int frames, double baseline, double measured, double target)
{
    const double ratio = measured / baseline;
    std::printf("%-6s %d frames: baseline %.3f s (%.0f fps), with BGRA %.3f s (%.0f fps), ratio %.3f (target <= %.2f) %s\n",
                what, frames, baseline, frames / baseline, measured, frames / measured, ratio, target,
                ratio <= target ? "met" : "MISSED");
}

} // namespace

int main()
{
    test::TempDir dir;
    const test::RecordingSpec spec{
        .width = kWidth, .height = kHeight, .fps = kFps, .duration = kSeconds, .motionStart = 0, .bitRate = kBitRate};
    const auto made = test::makeRecording(dir / "source.mp4", spec);
    const media::Asset asset = media::Asset::open(made.path);

    int frames = 0;
    const double bareRead = secondsOf([&] { frames = readAll(asset, media::VideoOutput::native); });
    const double bgraRead = secondsOf([&] { readAll(asset, media::VideoOutput::bgra); });
    report("read", frames, bareRead, bgraRead, kReadTarget);

    // The same pictures in both layouts, made before timing so that only the writing is measured.
    std::vector<media::PixelBuffer> bgra, planar;
    media::PixelBufferPool bgraPool(media::PixelFormat::bgra, kWidth, kHeight);
    media::PixelBufferPool planarPool(media::PixelFormat::yuv420p, kWidth, kHeight);
    media::ColorConverter converter;
    for (size_t i = 0; i < made.frameTimes.size(); ++i) {
        bgra.push_back(bgraPool.acquire());
        test::drawRecordingFrame(bgra.back(), spec, static_cast<int>(i), made.frameTimes[i]);
        planar.push_back(planarPool.acquire());
        converter.convert(bgra.back().view(), planar.back());
    }
    const double bareWrite = secondsOf([&] { writeAll(dir / "planar.mp4", planar); });
    const double bgraWrite = secondsOf([&] { writeAll(dir / "bgra.mp4", bgra); });
    report("write", static_cast<int>(bgra.size()), bareWrite, bgraWrite, kWriteTarget);
    return 0;
}
