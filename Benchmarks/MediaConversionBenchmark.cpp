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
// Baseline and measured runs alternate, and the median of the rounds' ratios is reported, so a
// change of load on a shared machine between the two does not decide.
constexpr int kRounds = 5;

double secondsOf(const std::function<void()>& run)
{
    const auto begin = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

struct Comparison {
    double baseline; // median seconds
    double measured; // median seconds
    double ratio;    // median of the rounds' ratios
};

Comparison compare(const std::function<void()>& baseline, const std::function<void()>& measured)
{
    std::vector<double> baselines, measureds, ratios;
    for (int round = 0; round < kRounds; ++round) {
        baselines.push_back(secondsOf(baseline));
        measureds.push_back(secondsOf(measured));
        ratios.push_back(measureds.back() / baselines.back());
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {median(baselines), median(measureds), median(ratios)};
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

void report(const char* what, int frames, const Comparison& c, double target)
{
    std::printf("%-6s %d frames: baseline %.3f s (%.0f fps), with BGRA %.3f s (%.0f fps), ratio %.3f (target <= %.2f) %s\n",
                what, frames, c.baseline, frames / c.baseline, c.measured, frames / c.measured, c.ratio, target,
                c.ratio <= target ? "met" : "MISSED");
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
    const Comparison reading = compare([&] { frames = readAll(asset, media::VideoOutput::native); },
                                       [&] { readAll(asset, media::VideoOutput::bgra); });
    report("read", frames, reading, kReadTarget);

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
    const Comparison writing = compare([&] { writeAll(dir / "planar.mp4", planar); },
                                       [&] { writeAll(dir / "bgra.mp4", bgra); });
    report("write", static_cast<int>(bgra.size()), writing, kWriteTarget);
    return 0;
}
