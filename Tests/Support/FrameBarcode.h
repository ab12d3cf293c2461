#pragma once

#include "Platform/Media/PixelBuffer.h"

#include <optional>

namespace vi::test {

// A frame's index drawn into the picture as 16 large black or white blocks (two rows of eight,
// least significant bit first, at the top-left corner), big enough to survive compression, so a
// test can tell which source frame a decoded picture is.
namespace FrameBarcode {

inline constexpr int kBits = 16;

// The side of one block for a picture of this height.
int blockSize(int pictureHeight);

// Draws `index` (modulo 2^16) into a BGRA picture.
void draw(const media::PixelBuffer& bgra, int index);

// Reads the index back from a BGRA or YUV picture (stored orientation); nothing when the
// picture is too small to hold a code.
std::optional<int> read(const media::ImageView& picture);

} // namespace FrameBarcode

} // namespace vi::test
