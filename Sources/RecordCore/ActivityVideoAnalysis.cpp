#include "RecordCore/ActivityAnalyzer.h"

#include "RecordCore/ActivityFrameMeasurer.h"
#include "RecordCore/RecordError.h"

#include "Platform/Media/Asset.h"
#include "Platform/Media/VideoTrackReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace vi::ActivityAnalyzer {

namespace {

// Frame rate assumed for a file that declares none.
constexpr double fallbackFrameRate = 60.0;
// Frames whose time misses the next due time by no more than this still count as due.
constexpr double dueTolerance = 0.000001;
// Half-width of the flicker window: this many seconds of measurements on each side.
constexpr double windowSeconds = 2.0;
// Grids beyond this many cells a side measure nothing the planner could use and would only
// allocate without bound.
constexpr int maximumCellsPerSide = 4096;

} // namespace

SourceInfo sourceInfo(const media::Asset& asset)
{
    const auto videoTracks = asset.videoTracks();
    if (videoTracks.empty()) {
        throw RecordError::noVideoTrack();
    }
    const media::TrackInfo& video = videoTracks.front();
    SourceInfo info;
    info.width = video.uprightWidth;
    info.height = video.uprightHeight;
    info.fps = video.nominalFrameRate > 0 ? video.nominalFrameRate : fallbackFrameRate;
    info.duration = asset.durationSeconds();
    info.hasAudio = asset.hasAudio();
    return info;
}

Analysis analyze(const std::filesystem::path& file, double sampleFPS, int cols, int rows, const Progress& progress)
{
    if (!std::isfinite(sampleFPS) || sampleFPS <= 0) {
        throw std::invalid_argument("the measuring rate must be a positive number of frames a second");
    }
    if (cols <= 0 || rows <= 0 || cols > maximumCellsPerSide || rows > maximumCellsPerSide) {
        throw std::invalid_argument("the measuring grid must have between 1 and 4096 cells a side");
    }
    const media::Asset asset = media::Asset::open(file);
    Analysis analysis;
    analysis.info = sourceInfo(asset);

    // Native pictures: only the sample points of the measured frames are ever turned into
    // colour, so frames between measurements cost their decoding and nothing more; and the
    // measuring runs beside the decoding rather than between its frames.
    media::VideoReaderOptions options;
    options.output = media::VideoOutput::native;
    media::VideoTrackReader reader(asset, options);

    detail::FrameMeasurer measurer(cols, rows);
    std::vector<double> times;
    const double duration = analysis.info.duration;
    double nextT = 0;
    while (auto frame = reader.next()) {
        const double t = frame->seconds();
        if (t + dueTolerance < nextT) {
            continue;
        }
        if (!frame->picture) {
            continue;
        }
        times.push_back(t);
        measurer.add(std::move(frame->picture));
        if (duration > 0 && progress) {
            progress(std::clamp(t / duration, 0.0, 1.0));
        }
        nextT = t + 1.0 / sampleFPS;
    }
    const ChangeMaskList masks = measurer.finish();
    const double window = std::min(windowSeconds * sampleFPS, static_cast<double>(std::numeric_limits<int>::max()));
    analysis.samples = summarize(times, masks, cols, rows, static_cast<int>(window));
    return analysis;
}

} // namespace vi::ActivityAnalyzer
