#include "Support/FrameBarcode.h"

#include <algorithm>
#include <cstring>

namespace vi::test::FrameBarcode {

namespace {

constexpr int kBlocksPerRow = 8;
// Blocks are a twelfth of the picture's height: 15 pixels at 180 lines, 90 at 1080.
constexpr int kBlocksPerHeight = 12;
constexpr int kSmallestBlock = 4;
constexpr uint8_t kBright = 255, kDark = 0;
// Black and white land far either side of this in BGRA and in limited-range luma alike.
constexpr int kThreshold = 128;

struct Block {
    int x, y;
};

Block blockOrigin(int bit, int size)
{
    const int margin = size / 2;
    return {margin + (bit % kBlocksPerRow) * size, margin + (bit / kBlocksPerRow) * size};
}

// The brightness of a block, averaged over its middle half to stay clear of ringing at its edges.
int blockBrightness(const media::ImageView& picture, Block origin, int size)
{
    const int inset = size / 4;
    long total = 0;
    long count = 0;
    for (int y = origin.y + inset; y < origin.y + size - inset; ++y) {
        const uint8_t* row = picture.data[0] + static_cast<ptrdiff_t>(y) * picture.stride[0];
        for (int x = origin.x + inset; x < origin.x + size - inset; ++x) {
            if (picture.format == media::PixelFormat::bgra)
                total += (row[4 * x] + row[4 * x + 1] + row[4 * x + 2]) / 3;
            else
                total += row[x];
            ++count;
        }
    }
    return count > 0 ? static_cast<int>(total / count) : 0;
}

} // namespace

int blockSize(int pictureHeight) { return std::max(kSmallestBlock, pictureHeight / kBlocksPerHeight); }

void draw(const media::PixelBuffer& bgra, int index)
{
    const int size = blockSize(bgra.height());
    for (int bit = 0; bit < kBits; ++bit) {
        const Block origin = blockOrigin(bit, size);
        const uint8_t value = ((index >> bit) & 1) ? kBright : kDark;
        for (int y = origin.y; y < std::min(origin.y + size, bgra.height()); ++y) {
            uint8_t* row = bgra.data(0) + static_cast<ptrdiff_t>(y) * bgra.stride(0);
            for (int x = origin.x; x < std::min(origin.x + size, bgra.width()); ++x) {
                row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = value;
                row[4 * x + 3] = 255;
            }
        }
    }
}

std::optional<int> read(const media::ImageView& picture)
{
    const int size = blockSize(picture.height);
    const Block last = blockOrigin(kBits - 1, size);
    if (!picture.data[0] || last.x + size > picture.width || last.y + size > picture.height)
        return std::nullopt;
    int index = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        if (blockBrightness(picture, blockOrigin(bit, size), size) >= kThreshold)
            index |= 1 << bit;
    }
    return index;
}

} // namespace vi::test::FrameBarcode
