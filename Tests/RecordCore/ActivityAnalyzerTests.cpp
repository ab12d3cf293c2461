#include "RecordCore/ActivityAnalyzer.h"

#include "RecordCore/ActivityFrames.h"
#include "RecordCore/ActivityGridPoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>

namespace vi {
namespace {

using test::block;
using test::GreyFrame;
using test::maskOf;

// --- brightness grid -------------------------------------------------------------------------

TEST(ActivityLumaGrid, WeighsBgraChannelsAndIgnoresAlpha)
{
    GreyFrame frame(1, 1);
    std::uint8_t* p = frame.pixel(0, 0);
    p[0] = 10;  // blue
    p[1] = 100; // green
    p[2] = 200; // red
    p[3] = 0;   // alpha plays no part
    std::array<std::uint8_t, 6> grid{};
    ActivityAnalyzer::lumaGrid(frame.view(), 3, 2, grid);
    // (19 * 10 + 183 * 100 + 54 * 200) >> 8; a one-pixel frame fills every point.
    EXPECT_EQ(grid, (std::array<std::uint8_t, 6>{114, 114, 114, 114, 114, 114}));
}

TEST(ActivityLumaGrid, TakesThePixelNearestEachPointsCentreThroughThePaddedRows)
{
    GreyFrame frame(10, 5, 0, /*padding*/ 12);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 10; ++x) {
            frame.fill(x, y, 1, 1, static_cast<std::uint8_t>(x * 10 + y));
        }
    }
    std::array<std::uint8_t, 8> grid{};
    ActivityAnalyzer::lumaGrid(frame.view(), 4, 2, grid);
    // Columns 1, 3, 6, 8 and rows 1, 3 are the pixels nearest the centres of 4 x 2 shares.
    EXPECT_EQ(grid, (std::array<std::uint8_t, 8>{11, 31, 61, 81, 13, 33, 63, 83}));
}

TEST(ActivityLumaGrid, PointsStepOntoThePixelsOfTheFloatingPointFormula)
{
    for (int size : {1, 2, 3, 5, 10, 179, 180, 1079, 1080, 1920, 2561, 3840, 7680}) {
        for (int gridSize : {1, 3, 4, 7, 160, 256, 1000, 4096}) {
            ActivityAnalyzer::detail::PointStepper stepper(size, gridSize);
            for (int i = 0; i < gridSize; ++i) {
                const double centre = (static_cast<double>(i) + 0.5) * size / gridSize;
                ASSERT_EQ(stepper.next(), std::min(size - 1, static_cast<int>(centre)))
                    << "size " << size << ", grid " << gridSize << ", point " << i;
            }
        }
    }
}

TEST(ActivityLumaGrid, ReadsThePlanarLumaByteUnchanged)
{
    constexpr int stride = 8;
    std::array<std::uint8_t, stride * 3> plane{};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            plane[static_cast<std::size_t>(y * stride + x)] = static_cast<std::uint8_t>(16 + 40 * y + x);
        }
    }
    std::array<std::uint8_t, 9> grid{};
    ActivityAnalyzer::lumaGrid(PixelView{plane.data(), 6, 3, stride, true}, 3, 3, grid);
    EXPECT_EQ(grid, (std::array<std::uint8_t, 9>{17, 19, 21, 57, 59, 61, 97, 99, 101}));
}

TEST(ActivityLumaGrid, FrameWithoutPixelsLeavesTheGridAsItWas)
{
    GreyFrame frame(4, 4, 200);
    const PixelView whole = frame.view();
    const PixelView withoutPixels[] = {
        {nullptr, 4, 4, 16, false},
        {whole.base, 0, 4, 16, false},
        {whole.base, 4, 0, 16, false},
        {whole.base, 0, 0, 0, true},
    };
    for (const PixelView& view : withoutPixels) {
        std::array<std::uint8_t, 16> grid;
        grid.fill(0xAB);
        ActivityAnalyzer::lumaGrid(view, 4, 4, grid);
        EXPECT_TRUE(std::ranges::all_of(grid, [](std::uint8_t v) { return v == 0xAB; }))
            << "width " << view.width << " height " << view.height;
    }
}

// --- cell change test ------------------------------------------------------------------------

struct CellCase {
    const char* name;
    std::vector<int> deltas; // added to the first points of a one-cell grid (may be negative)
    bool changed;
};

TEST(ActivityCellChange, ChangesOnALargeSumOrOnTwoStrongPoints)
{
    const CellCase cases[] = {
        {"every point by 10: sum 160", std::vector<int>(16, 10), true},
        {"one point by 200", {200}, true},
        {"one point darker by 200", {-200}, true},
        {"one point by 100", {100}, false},
        {"sum exactly 128 from faint points", std::vector<int>(8, 16), false},
        {"sum 129 from faint points", {16, 16, 16, 16, 16, 16, 16, 17}, true},
        {"two points by 25", {25, 25}, true},
        {"one point by 25 and one by 24", {25, 24}, false},
        {"nothing", {}, false},
    };
    for (const CellCase& c : cases) {
        std::array<std::uint8_t, 16> previous;
        previous.fill(20);
        std::array<std::uint8_t, 16> current = previous;
        for (std::size_t i = 0; i < c.deltas.size(); ++i) {
            previous[i] = c.deltas[i] >= 0 ? 20 : 230;
            current[i] = static_cast<std::uint8_t>(previous[i] + c.deltas[i]);
        }
        std::array<std::uint64_t, 1> mask{};
        ActivityAnalyzer::changedCells(previous, current, 1, 1, mask);
        EXPECT_EQ(mask[0] == 1, c.changed) << c.name;
    }
}

TEST(ActivityCellChange, MarksOnlyTheCellThatHoldsTheChangedPoints)
{
    constexpr int cols = 3;
    constexpr int rows = 2;
    std::vector<std::uint8_t> previous(cols * rows * 16, 50);
    std::vector<std::uint8_t> current = previous;
    // Cell (col 2, row 1) covers grid rows 4-7 and grid columns 8-11.
    current[static_cast<std::size_t>(6 * cols * 4 + 9)] = 250;
    std::array<std::uint64_t, 1> mask{~std::uint64_t{0}};
    ActivityAnalyzer::changedCells(previous, current, cols, rows, mask);
    EXPECT_EQ(mask[0], std::uint64_t{1} << 5);
}

// --- grouping --------------------------------------------------------------------------------

TEST(ActivityComponents, JoinCellsAcrossGapsOfAtMostOneCell)
{
    constexpr int cols = 8;
    constexpr int rows = 5;
    struct Case {
        const char* name;
        std::vector<int> cells;
        std::size_t groups;
    };
    const Case cases[] = {
        {"columns 3 and 5 of a row", {8 + 3, 8 + 5}, 1},
        {"columns 3 and 6 of a row", {8 + 3, 8 + 6}, 2},
        {"rows 0 and 2 of a column", {2, 16 + 2}, 1},
        {"rows 0 and 3 of a column", {2, 24 + 2}, 2},
        {"two cells apart on a diagonal", {0, 16 + 2}, 1},
        {"a chain of gaps", {0, 2, 4, 6}, 1},
        {"opposite corners", {0, cols * rows - 1}, 2},
        {"nothing changed", {}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ActivityAnalyzer::components(maskOf(cols, rows, c.cells), cols, rows).size(), c.groups) << c.name;
    }
}

TEST(ActivityComponents, GroupHoldsItsCellsAndBoundsStartingAtTheLowestIndex)
{
    constexpr int cols = 8;
    constexpr int rows = 5;
    // An L of cells plus a separate cell far away.
    const std::vector<int> lShape{1 * cols + 2, 2 * cols + 2, 3 * cols + 2, 3 * cols + 3, 3 * cols + 4};
    std::vector<int> all = lShape;
    all.push_back(4 * cols + 7);
    const auto groups = ActivityAnalyzer::components(maskOf(cols, rows, all), cols, rows);
    ASSERT_EQ(groups.size(), 2U);

    EXPECT_EQ(groups[0].cells.front(), 1 * cols + 2); // the search starts at the lowest index
    std::vector<int> cells = groups[0].cells;
    std::ranges::sort(cells);
    EXPECT_EQ(cells, lShape);
    EXPECT_EQ((std::array{groups[0].minC, groups[0].minR, groups[0].maxC, groups[0].maxR}), (std::array{2, 1, 4, 3}));

    EXPECT_EQ(groups[1].cells, std::vector<int>{4 * cols + 7});
    EXPECT_EQ((std::array{groups[1].minC, groups[1].minR, groups[1].maxC, groups[1].maxR}), (std::array{7, 4, 7, 4}));
}

TEST(ActivityComponents, EveryCellChangedIsOneGroupAndAnEmptyGridHasNone)
{
    constexpr int cols = 64;
    constexpr int rows = 40;
    std::vector<int> everything(cols * rows);
    std::iota(everything.begin(), everything.end(), 0);
    const auto groups = ActivityAnalyzer::components(maskOf(cols, rows, everything), cols, rows);
    ASSERT_EQ(groups.size(), 1U);
    EXPECT_EQ(groups[0].cells.size(), static_cast<std::size_t>(cols * rows));
    EXPECT_EQ((std::array{groups[0].minC, groups[0].minR, groups[0].maxC, groups[0].maxR}), (std::array{0, 0, 63, 39}));

    EXPECT_TRUE(ActivityAnalyzer::components(ChangeMask(0), 0, 40).empty());
}

// --- focus -----------------------------------------------------------------------------------

TEST(ActivityMainArea, JoinsGroupsOfAtLeastAQuarterOfTheLargest)
{
    constexpr int cols = 64;
    constexpr int rows = 40;
    const std::vector<int> hundred = block(cols, 0, 0, 10, 10);
    const auto focusWith = [&](int smallW, int smallH) {
        std::vector<int> cells = hundred;
        const std::vector<int> small = block(cols, 40, 30, smallW, smallH);
        cells.insert(cells.end(), small.begin(), small.end());
        const auto groups = ActivityAnalyzer::components(maskOf(cols, rows, cells), cols, rows);
        EXPECT_EQ(groups.size(), 2U);
        return ActivityAnalyzer::mainArea(groups, cols, rows);
    };
    EXPECT_EQ(focusWith(6, 4), NRect(0, 0, 10.0 / cols, 10.0 / rows)); // 24 cells: left out
    EXPECT_EQ(focusWith(5, 5), NRect(0, 0, 45.0 / cols, 35.0 / rows)); // 25 cells: joined
    EXPECT_EQ(ActivityAnalyzer::mainArea({}, cols, rows), std::nullopt);
}

// --- summary ---------------------------------------------------------------------------------

constexpr int sumCols = 16;
constexpr int sumRows = 10;
constexpr double sumCells = sumCols * sumRows;

// n masks in which the given cells change in the frames for which changes(frame) is true.
ChangeMaskList masksWhere(std::size_t n, const std::vector<int>& cells, auto changes)
{
    ChangeMaskList masks(static_cast<std::size_t>(sumCols * sumRows));
    const ChangeMask changed = maskOf(sumCols, sumRows, cells);
    const ChangeMask still(static_cast<std::size_t>(sumCols * sumRows));
    for (std::size_t frame = 0; frame < n; ++frame) {
        masks.append(changes(frame) ? changed : still);
    }
    return masks;
}

std::vector<double> timesFor(std::size_t n)
{
    std::vector<double> times(n);
    for (std::size_t i = 0; i < n; ++i) {
        times[i] = static_cast<double>(i) / 15.0;
    }
    return times;
}

TEST(ActivitySummarize, DropsSmallGroupsThatChangeMostOfTheTime)
{
    constexpr std::size_t n = 61;
    constexpr int window = 30;
    struct Case {
        const char* name;
        std::vector<int> cells;
        int everyNthFrame;
        bool kept;
    };
    const Case cases[] = {
        {"10 cells changing in every frame", block(sumCols, 2, 2, 5, 2), 1, false},
        {"11 cells changing in every frame", block(sumCols, 2, 2, 11, 1), 1, true},
        {"10 cells changing in a third of the frames", block(sumCols, 2, 2, 5, 2), 3, true},
        {"2 cells changing in every other frame", block(sumCols, 2, 2, 2, 1), 2, false},
    };
    for (const Case& c : cases) {
        const auto masks = masksWhere(n, c.cells, [&](std::size_t f) { return f % static_cast<std::size_t>(c.everyNthFrame) == 0; });
        const auto samples = ActivityAnalyzer::summarize(timesFor(n), masks, sumCols, sumRows, window);
        ASSERT_EQ(samples.size(), n) << c.name;
        for (std::size_t f = 0; f < n; f += static_cast<std::size_t>(c.everyNthFrame)) {
            const double expected = c.kept ? static_cast<double>(c.cells.size()) / sumCells : 0.0;
            EXPECT_EQ(samples[f].energy, expected) << c.name << ", frame " << f;
            EXPECT_EQ(samples[f].focus.has_value(), c.kept) << c.name << ", frame " << f;
            EXPECT_DOUBLE_EQ(samples[f].t, static_cast<double>(f) / 15.0);
        }
    }
}

TEST(ActivitySummarize, WindowShortensAtBothEndsOfTheList)
{
    // With 61 frames and a window of 30, frame 0 sees frames 0-30 and frame 60 sees 30-60: 31
    // frames each, so a cell is persistent there once it changed in 16 of them.
    constexpr std::size_t n = 61;
    const std::vector<int> cells = block(sumCols, 4, 4, 3, 1);
    struct Case {
        const char* name;
        std::size_t frame;
        std::size_t changedFrames; // the frame itself and the nearest others inside its window
        bool kept;
    };
    const Case cases[] = {
        {"first frame, 15 of 31", 0, 15, true},
        {"first frame, 16 of 31", 0, 16, false},
        {"last frame, 15 of 31", 60, 15, true},
        {"last frame, 16 of 31", 60, 16, false},
    };
    for (const Case& c : cases) {
        const auto masks = masksWhere(n, cells, [&](std::size_t f) {
            const std::size_t distance = f > c.frame ? f - c.frame : c.frame - f;
            return distance < c.changedFrames;
        });
        const auto samples = ActivityAnalyzer::summarize(timesFor(n), masks, sumCols, sumRows, 30);
        EXPECT_EQ(samples[c.frame].energy, c.kept ? 3.0 / sumCells : 0.0) << c.name;
    }
}

TEST(ActivitySummarize, FocusIsTheBoxOfTheKeptCells)
{
    const auto masks = masksWhere(3, block(sumCols, 3, 2, 4, 3), [](std::size_t f) { return f == 1; });
    const auto samples = ActivityAnalyzer::summarize(timesFor(3), masks, sumCols, sumRows, 30);
    ASSERT_EQ(samples.size(), 3U);
    EXPECT_EQ(samples[0], (ActivitySample{0.0, 0.0, std::nullopt}));
    EXPECT_EQ(samples[1].focus, NRect(3.0 / sumCols, 2.0 / sumRows, 4.0 / sumCols, 3.0 / sumRows));
    EXPECT_EQ(samples[1].energy, 12.0 / sumCells);
    EXPECT_EQ(samples[2].energy, 0.0);
}

TEST(ActivitySummarize, EmptyListGivesNothingAndMissingTimesAreRefused)
{
    EXPECT_TRUE(ActivityAnalyzer::summarize({}, ChangeMaskList(sumCols * sumRows), sumCols, sumRows, 30).empty());
    const auto masks = masksWhere(4, {}, [](std::size_t) { return false; });
    EXPECT_THROW(ActivityAnalyzer::summarize(timesFor(3), masks, sumCols, sumRows, 30), std::invalid_argument);
}

} // namespace
} // namespace vi
