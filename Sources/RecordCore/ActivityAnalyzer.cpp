#include "RecordCore/ActivityAnalyzer.h"

#include "RecordCore/ActivityGridPoints.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace vi::ActivityAnalyzer {

namespace {

std::uint8_t bgraPointLuma(const std::uint8_t* pixel) { return detail::bgrLuma(pixel[0], pixel[1], pixel[2]); }

std::size_t cellCount(int cols, int rows)
{
    return cols > 0 && rows > 0 ? static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows) : 0;
}

} // namespace

void lumaGrid(const PixelView& frame, int gridW, int gridH, std::span<std::uint8_t> grid)
{
    if (!frame.hasPixels() || gridW <= 0 || gridH <= 0) {
        return;
    }
    if (grid.size() < static_cast<std::size_t>(gridW) * static_cast<std::size_t>(gridH)) {
        throw std::invalid_argument("the brightness grid is smaller than gridW x gridH");
    }
    detail::PointStepper rows(frame.height, gridH);
    for (int y = 0; y < gridH; ++y) {
        const std::uint8_t* row = frame.base + static_cast<std::ptrdiff_t>(rows.next()) * frame.bytesPerRow;
        std::uint8_t* out = grid.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(gridW);
        detail::PointStepper columns(frame.width, gridW);
        for (int x = 0; x < gridW; ++x) {
            const int sx = columns.next();
            out[x] = frame.planar ? row[sx] : bgraPointLuma(row + 4 * static_cast<std::ptrdiff_t>(sx));
        }
    }
}

void changedCells(std::span<const std::uint8_t> previous, std::span<const std::uint8_t> current, int cols, int rows,
                  std::span<std::uint64_t> mask)
{
    const std::size_t cells = cellCount(cols, rows);
    const std::size_t gridBytes = cells * points * points;
    if (previous.size() < gridBytes || current.size() < gridBytes || mask.size() < maskWordCount(cells)) {
        throw std::invalid_argument("brightness grids or mask too small for the cell grid");
    }
    std::fill(mask.begin(), mask.end(), std::uint64_t{0});
    if (cells == 0) {
        return;
    }
    const auto columns = static_cast<std::size_t>(cols);
    const std::size_t gridW = columns * points;
    for (std::size_t r = 0; r < static_cast<std::size_t>(rows); ++r) {
        for (std::size_t c = 0; c < columns; ++c) {
            int sum = 0;
            int changedPoints = 0;
            for (std::size_t py = 0; py < points; ++py) {
                const std::size_t offset = (r * points + py) * gridW + c * points;
                for (std::size_t px = 0; px < points; ++px) {
                    const int d = std::abs(int{current[offset + px]} - int{previous[offset + px]});
                    sum += d;
                    changedPoints += d >= pointChangeThreshold ? 1 : 0;
                }
            }
            if (sum > cellSumThreshold || changedPoints >= changedPointsForCell) {
                const std::size_t cell = r * columns + c;
                mask[cell / 64] |= std::uint64_t{1} << (cell % 64);
            }
        }
    }
}

std::vector<Group> components(ChangeMaskView mask, int cols, int rows)
{
    // Cells whose column and row each differ by at most this much are neighbours.
    constexpr int reach = 2;
    const std::size_t cells = cellCount(cols, rows);
    std::vector<Group> groups;
    if (cells == 0) {
        return groups;
    }
    if (mask.cells() < cells) {
        throw std::invalid_argument("the change mask has fewer cells than the grid");
    }
    std::vector<bool> visited(cells, false);
    std::vector<int> stack;
    mask.forEachChanged([&](std::size_t start) {
        if (start >= cells || visited[start]) {
            return;
        }
        Group group{{}, cols, rows, -1, -1};
        visited[start] = true;
        stack.push_back(static_cast<int>(start));
        while (!stack.empty()) {
            const int cell = stack.back();
            stack.pop_back();
            group.cells.push_back(cell);
            const int col = cell % cols;
            const int row = cell / cols;
            group.minC = std::min(group.minC, col);
            group.minR = std::min(group.minR, row);
            group.maxC = std::max(group.maxC, col);
            group.maxR = std::max(group.maxR, row);
            for (int nr = std::max(0, row - reach); nr <= std::min(rows - 1, row + reach); ++nr) {
                for (int nc = std::max(0, col - reach); nc <= std::min(cols - 1, col + reach); ++nc) {
                    const auto neighbour = static_cast<std::size_t>(nr * cols + nc);
                    if (mask[neighbour] && !visited[neighbour]) {
                        visited[neighbour] = true;
                        stack.push_back(static_cast<int>(neighbour));
                    }
                }
            }
        }
        groups.push_back(std::move(group));
    });
    return groups;
}

std::optional<NRect> mainArea(std::span<const Group> groups, int cols, int rows)
{
    if (groups.empty() || cols <= 0 || rows <= 0) {
        return std::nullopt;
    }
    std::size_t largest = 0;
    for (const Group& group : groups) {
        largest = std::max(largest, group.cells.size());
    }
    std::optional<NRect> area;
    for (const Group& group : groups) {
        // At least a quarter of the largest group joins the focus.
        if (4 * group.cells.size() < largest) {
            continue;
        }
        const NRect box{static_cast<double>(group.minC) / cols, static_cast<double>(group.minR) / rows,
                        static_cast<double>(group.maxC - group.minC + 1) / cols,
                        static_cast<double>(group.maxR - group.minR + 1) / rows};
        area = area ? area->united(box) : box;
    }
    return area;
}

std::vector<ActivitySample> summarize(std::span<const double> times, const ChangeMaskList& masks, int cols, int rows,
                                      int window)
{
    const std::size_t n = masks.size();
    if (times.size() < n) {
        throw std::invalid_argument("summarize needs a time for every mask");
    }
    const std::size_t cells = cellCount(cols, rows);
    if (n > 0 && masks.cellsPerMask() != cells) {
        throw std::invalid_argument("the masks do not have one flag per grid cell");
    }
    std::vector<ActivitySample> samples;
    samples.reserve(n);
    if (n == 0) {
        return samples;
    }
    const std::size_t half = static_cast<std::size_t>(std::max(window, 0));
    // In how many masks of the current frame's window each cell changed.
    std::vector<std::uint32_t> counts(cells, 0);
    const auto addFrame = [&](std::size_t frame) { masks[frame].forEachChanged([&](std::size_t cell) { ++counts[cell]; }); };
    const auto removeFrame = [&](std::size_t frame) { masks[frame].forEachChanged([&](std::size_t cell) { --counts[cell]; }); };
    for (std::size_t frame = 0; frame <= std::min(n - 1, half); ++frame) {
        addFrame(frame);
    }
    std::vector<Group> kept;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            if (half < n - i) { // frame i + half exists
                addFrame(i + half);
            }
            if (i > half) {
                removeFrame(i - half - 1);
            }
        }
        const std::size_t first = i > half ? i - half : 0;
        const std::size_t last = std::min(n - 1, i + std::min(half, n));
        const double framesInWindow = static_cast<double>(last - first + 1);

        kept.clear();
        std::size_t keptCells = 0;
        for (Group& group : components(masks[i], cols, rows)) {
            if (group.cells.size() < flickerGroupLimit) {
                std::size_t persistent = 0;
                for (int cell : group.cells) {
                    persistent += counts[static_cast<std::size_t>(cell)] >= framesInWindow * persistentFrameShare ? 1 : 0;
                }
                if (static_cast<double>(persistent) >= flickerPersistentShare * static_cast<double>(group.cells.size())) {
                    continue;
                }
            }
            keptCells += group.cells.size();
            kept.push_back(std::move(group));
        }
        const double energy = cells > 0 ? static_cast<double>(keptCells) / static_cast<double>(cells) : 0.0;
        samples.push_back(ActivitySample{times[i], energy, mainArea(kept, cols, rows)});
    }
    return samples;
}

} // namespace vi::ActivityAnalyzer
