// Activity analysis of a 1080p60 recording against plain decoding of the same file. Analysis
// decodes every frame but turns only the sample points of one frame in four into colour, so it
// should cost little more than the decode itself (target: at most 1.1 times).
#include "RecordCore/ActivityAnalyzer.h"

#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"
#include "Support/SyntheticRecording.h"
#include "Support/TestOutput.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kFps = 60;
constexpr double kSeconds = 5;
// A screen recording's rate at this size: enough detail for the decoder to do real work.
constexpr std::int64_t kBitRate = 8'000'000;
constexpr double kMeasuresPerSecond = 15;
constexpr int kCols = 64;
constexpr int kRows = 40;
// Decoding and analysis take turns, so the two runs of a round see about the same machine load;
// the figure judged is the median of the rounds' ratios, which other work on the machine sways
// least. The fastest and the median runs are printed beside it.
constexpr int kRounds = 9;
// Ratio of analysis to bare decoding that analysis must stay under.
constexpr double kTargetRatio = 1.1;

double secondsOf(const std::function<void()>& run)
{
    const auto begin = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    using namespace vi;
    test::TempDir dir;
    test::RecordingSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.fps = kFps;
    spec.duration = kSeconds;
    spec.motionStart = 1;
    spec.bitRate = kBitRate;
    std::printf("making a %dx%d %.0f fps H.264 recording of %.0f s...\n", kWidth, kHeight, kFps, kSeconds);
    const auto recording = test::makeRecording(dir / "screen.mp4", spec);

    std::size_t decodedFrames = 0;
    std::size_t samples = 0;
    std::vector<double> decodeTimes;
    std::vector<double> analyzeTimes;
    for (int round = 0; round < kRounds; ++round) {
        decodeTimes.push_back(secondsOf([&] {
            // Opened like the analysis opens it, with the same reader settings: native planes,
            // FFmpeg's own thread count.
            const media::Asset asset = media::Asset::open(recording.path);
            media::VideoReaderOptions options;
            options.output = media::VideoOutput::native;
            media::VideoTrackReader reader(asset, options);
            decodedFrames = 0;
            while (reader.next()) {
                ++decodedFrames;
            }
        }));
        analyzeTimes.push_back(secondsOf([&] {
            samples = ActivityAnalyzer::analyze(recording.path, kMeasuresPerSecond, kCols, kRows).samples.size();
        }));
    }
    const double decode = *std::ranges::min_element(decodeTimes);
    const double analyze = *std::ranges::min_element(analyzeTimes);
    std::vector<double> roundRatios;
    for (std::size_t round = 0; round < decodeTimes.size(); ++round) {
        roundRatios.push_back(analyzeTimes[round] / decodeTimes[round]);
    }
    const double ratio = median(roundRatios);
    std::printf("file: %zu frames, decoding threads: FFmpeg's choice on %u cores, %d rounds (fastest run shown)\n",
                decodedFrames, std::thread::hardware_concurrency(), kRounds);
    std::printf("plain decode (native planes):       %7.3f s  %7.1f frames/s\n", decode,
                static_cast<double>(decodedFrames) / decode);
    std::printf("analyze (%.0f/s, %dx%d cells, %zu samples): %7.3f s  %7.1f frames/s\n", kMeasuresPerSecond, kCols,
                kRows, samples, analyze, static_cast<double>(decodedFrames) / analyze);
    std::printf("fastest runs: ratio %.3f; median runs: decode %.3f s, analyze %.3f s, ratio %.3f\n",
                analyze / decode, median(decodeTimes), median(analyzeTimes), median(analyzeTimes) / median(decodeTimes));
    std::printf("ratio analyze / decode, median of the rounds: %.3f (target <= %.2f) %s\n", ratio, kTargetRatio,
                ratio <= kTargetRatio ? "met" : "MISSED");
    return 0;
}
