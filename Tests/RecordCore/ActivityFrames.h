#pragma once

#include "RecordCore/ChangeMask.h"
#include "RecordCore/PixelView.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vi::test {

// A grey BGRA picture in memory, with optional padding at the end of each row, for feeding the
// activity measuring without any media file.
class GreyFrame {
public:
    GreyFrame(int width, int height, std::uint8_t grey = 0, int padding = 0)
        : width_(width), height_(height), bytesPerRow_(width * 4 + padding),
          bytes_(static_cast<std::size_t>(bytesPerRow_) * static_cast<std::size_t>(height), 0xEE)
    {
        fill(0, 0, width, height, grey);
    }

    // Grey of equal B, G and R has luma equal to itself under the 19/183/54 weights.
    void fill(int x, int y, int w, int h, std::uint8_t grey)
    {
        for (int row = y; row < y + h; ++row) {
            for (int col = x; col < x + w; ++col) {
                std::uint8_t* p = pixel(col, row);
                p[0] = p[1] = p[2] = grey;
                p[3] = 255;
            }
        }
    }

    std::uint8_t* pixel(int x, int y)
    {
        return bytes_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytesPerRow_) +
               4 * static_cast<std::size_t>(x);
    }

    PixelView view() const { return {bytes_.data(), width_, height_, bytesPerRow_, false}; }

private:
    int width_;
    int height_;
    int bytesPerRow_;
    std::vector<std::uint8_t> bytes_;
};

// Cells of the block from (col, row) of w x h cells.
inline std::vector<int> block(int cols, int col, int row, int w, int h)
{
    std::vector<int> cells;
    for (int r = row; r < row + h; ++r) {
        for (int c = col; c < col + w; ++c) {
            cells.push_back(r * cols + c);
        }
    }
    return cells;
}

inline ChangeMask maskOf(int cols, int rows, const std::vector<int>& changedCells)
{
    ChangeMask mask(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows));
    for (int cell : changedCells) {
        mask.set(static_cast<std::size_t>(cell));
    }
    return mask;
}

inline ChangeMask maskOf(int cols, int rows, std::initializer_list<int> changedCells)
{
    return maskOf(cols, rows, std::vector<int>(changedCells));
}

} // namespace vi::test
