#include "RecordCore/ActivityAnalyzer.h"

#include "RecordCore/ActivityGridPoints.h"

#include "Platform/Media/PixelBuffer.h"
#include "Platform/Media/YuvPointConverter.h"

#include <stdexcept>

namespace vi::ActivityAnalyzer {

namespace {

bool hasPlanes(const media::ImageView& picture)
{
    switch (picture.format) {
    case media::PixelFormat::bgra:
        return picture.data[0] != nullptr;
    case media::PixelFormat::nv12:
        return picture.data[0] != nullptr && picture.data[1] != nullptr;
    case media::PixelFormat::yuv420p:
        return picture.data[0] != nullptr && picture.data[1] != nullptr && picture.data[2] != nullptr;
    }
    return false;
}

const std::uint8_t* rowOf(const media::ImageView& picture, int plane, int row)
{
    const auto index = static_cast<std::size_t>(plane);
    return picture.data[index] + static_cast<std::ptrdiff_t>(row) * picture.stride[index];
}

} // namespace

void lumaGrid(const media::ImageView& picture, int gridW, int gridH, std::span<std::uint8_t> grid)
{
    if (picture.format == media::PixelFormat::bgra) {
        lumaGrid(PixelView{picture.data[0], picture.width, picture.height, picture.stride[0], false}, gridW, gridH,
                 grid);
        return;
    }
    if (!hasPlanes(picture) || picture.width <= 0 || picture.height <= 0 || gridW <= 0 || gridH <= 0) {
        return;
    }
    if (grid.size() < static_cast<std::size_t>(gridW) * static_cast<std::size_t>(gridH)) {
        throw std::invalid_argument("the brightness grid is smaller than gridW x gridH");
    }
    // 4:2:0 chroma: one sample per 2 x 2 pixels, taken for each of the pixels it covers.
    const bool interleavedChroma = picture.format == media::PixelFormat::nv12;
    const int chromaStep = interleavedChroma ? 2 : 1;
    const media::YuvPointConverter toRgb(picture.matrix, picture.range);
    detail::PointStepper rows(picture.height, gridH);
    for (int y = 0; y < gridH; ++y) {
        const int sy = rows.next();
        const std::uint8_t* lumaRow = rowOf(picture, 0, sy);
        const std::uint8_t* blueRow = rowOf(picture, 1, sy / 2);
        const std::uint8_t* redRow = interleavedChroma ? blueRow + 1 : rowOf(picture, 2, sy / 2);
        std::uint8_t* out = grid.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(gridW);
        detail::PointStepper columns(picture.width, gridW);
        for (int x = 0; x < gridW; ++x) {
            const int sx = columns.next();
            const int chroma = (sx / 2) * chromaStep;
            const media::Rgb rgb = toRgb(lumaRow[sx], blueRow[chroma], redRow[chroma]);
            out[x] = detail::bgrLuma(rgb.b, rgb.g, rgb.r);
        }
    }
}

} // namespace vi::ActivityAnalyzer
