#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/ChangeMask.h"
#include "RecordCore/NRect.h"
#include "RecordCore/PixelView.h"
#include "RecordCore/SourceInfo.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vi::media {
class Asset;
struct ImageView;
} // namespace vi::media

// Screen-activity measuring: frames become a coarse brightness grid, consecutive grids are
// compared cell by cell, changed cells are grouped into areas, small areas that flicker all the
// time are discarded, and each measured frame is summarised as an ActivitySample.
namespace vi::ActivityAnalyzer {

// Each cell is measured at points x points sample points.
inline constexpr int points = 4;

// A point whose brightness moved by at least this much counts as changed on its own...
inline constexpr int pointChangeThreshold = 25;
// ...and a cell changes when at least this many of its points did,
inline constexpr int changedPointsForCell = 2;
// or when the brightness moves of its 16 points add up to more than this (broad, faint changes).
inline constexpr int cellSumThreshold = 128;

// Groups smaller than this may be discarded as flicker; larger ones are always kept.
inline constexpr std::size_t flickerGroupLimit = 11;
// A small group is flicker when at least this share of its cells is persistent...
inline constexpr double flickerPersistentShare = 0.6;
// ...and a cell is persistent when it changed in at least this share of its window's frames.
inline constexpr double persistentFrameShare = 0.5;

// Samples the frame's brightness at gridW x gridH points into grid (gridW * gridH bytes, row by
// row), one pixel nearest the centre of each point's share of the frame. A frame without pixels
// (no data, or zero width or height) leaves the grid as it was, so it measures as no change.
void lumaGrid(const PixelView& frame, int gridW, int gridH, std::span<std::uint8_t> grid);

// The same for a decoded picture. BGRA pictures are read as above. YUV pictures are turned into
// BGRA at the sample points only, with the picture's own matrix and range, and then weighed like
// BGRA: reading the luma plane directly would scale every difference by the video range (about
// 219/255) and move the fixed change thresholds.
void lumaGrid(const media::ImageView& picture, int gridW, int gridH, std::span<std::uint8_t> grid);

// Fills mask (cols x rows cells) with the cells that changed between two brightness grids of
// (cols * points) x (rows * points) bytes. Every cell of mask is written.
void changedCells(std::span<const std::uint8_t> previous, std::span<const std::uint8_t> current, int cols,
                  int rows, std::span<std::uint64_t> mask);

// One connected area of changed cells: its cells in the order the search reached them and its
// bounds in cells (inclusive).
struct Group {
    std::vector<int> cells;
    int minC = 0;
    int minR = 0;
    int maxC = -1;
    int maxR = -1;
    bool operator==(const Group&) const = default;
};

// The connected areas of changed cells; cells join an area across gaps of at most one cell.
std::vector<Group> components(ChangeMaskView mask, int cols, int rows);

// The focus box of one frame: the union of the boxes of the largest group and of every group at
// least a quarter its size; absent without groups.
std::optional<NRect> mainArea(std::span<const Group> groups, int cols, int rows);

// One sample per mask. times[i] is the time of mask i (times has at least masks.size() entries);
// window is the half-width, in masks, of the window over which persistent cells are counted.
std::vector<ActivitySample> summarize(std::span<const double> times, const ChangeMaskList& masks, int cols, int rows,
                                      int window);

// The facts about a video file: its first video track's upright size and nominal frame rate
// (60 when the file gives none), its duration, and whether it has sound. Throws
// RecordError::noVideoTrack for a file without video.
SourceInfo sourceInfo(const media::Asset& asset);

struct Analysis {
    SourceInfo info;
    std::vector<ActivitySample> samples;
};

// Receives the share of the video measured so far, 0 to 1, on the analysing thread.
using Progress = std::function<void(double fraction)>;

// Measures the activity of a video file's first video track at sampleFPS frames a second of
// video time, picking frames by their own presentation times, on a grid of cols x rows cells.
// Throws RecordError::noVideoTrack for a file without video, media::MediaError when the file
// cannot be opened or read, and std::invalid_argument for a rate or grid that cannot be measured.
Analysis analyze(const std::filesystem::path& file, double sampleFPS, int cols, int rows,
                 const Progress& progress = {});

} // namespace vi::ActivityAnalyzer
