// Finding where two decoded frames differ: every differing byte of any plane is covered, in
// bands of whole rows with even corners, and frames that cannot be compared say so.
#include "Platform/Media/PixelBufferPool.h"
#include "RecordCore/SourceChanges.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace vi {
namespace {

using raster::IntRect;

constexpr int kWidth = 64, kHeight = 48;

media::PixelBuffer grey(media::PixelBufferPool& pool) {
    media::PixelBuffer picture = pool.acquire();
    const int planes = picture.planeCount();
    for (int p = 0; p < planes; ++p) {
        const int rows = p == 0 ? picture.height() : (picture.height() + 1) / 2;
        std::memset(picture.data(p), 100, std::size_t(picture.stride(p)) * std::size_t(rows));
    }
    return picture;
}

struct Case {
    const char* name;
    std::function<void(const media::PixelBuffer&)> change; // applied to the second frame
    std::vector<IntRect> expected;
};

TEST(SourceChanges, CoversEveryDifferenceInBandsWithEvenCorners) {
    media::PixelBufferPool pool(media::PixelFormat::yuv420p, kWidth, kHeight);
    auto luma = [](int x, int y) { return [=](const media::PixelBuffer& p) { p.data(0)[y * p.stride(0) + x] = 7; }; };
    const std::vector<Case> cases = {
        {"equal frames", [](const media::PixelBuffer&) {}, {}},
        {"one luma pixel at odd corners", luma(5, 17), {{4, 16, 2, 16}}},
        {"a chroma sample covers its two by two pixels",
         [](const media::PixelBuffer& p) { p.data(2)[3 * p.stride(2) + 10] = 7; }, {{20, 0, 2, 16}}},
        {"changes in two bands apart are two areas",
         [&](const media::PixelBuffer& p) { luma(0, 0)(p); luma(63, 47)(p); }, {{0, 0, 2, 16}, {62, 32, 2, 16}}},
        {"changes in neighbouring bands are one area",
         [&](const media::PixelBuffer& p) { luma(10, 15)(p); luma(30, 16)(p); }, {{10, 0, 22, 32}}},
        {"the last pixel of a row", luma(63, 20), {{62, 16, 2, 16}}},
    };
    const media::PixelBuffer before = grey(pool);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const media::PixelBuffer after = grey(pool);
        c.change(after);
        const auto changes = sourceChanges(before, after);
        ASSERT_TRUE(changes.has_value());
        EXPECT_EQ(*changes, c.expected);
    }
}

TEST(SourceChanges, BgraPixelsAndFramesThatCannotBeCompared) {
    media::PixelBufferPool bgra(media::PixelFormat::bgra, kWidth, kHeight);
    const media::PixelBuffer before = grey(bgra);
    const media::PixelBuffer after = grey(bgra);
    after.data(0)[20 * after.stride(0) + 9 * 4 + 2] = 7; // the red of pixel (9, 20)
    EXPECT_EQ(sourceChanges(before, after), (std::vector<IntRect>{{8, 16, 2, 16}}));

    media::PixelBufferPool yuv(media::PixelFormat::yuv420p, kWidth, kHeight);
    media::PixelBufferPool smaller(media::PixelFormat::yuv420p, kWidth - 2, kHeight);
    EXPECT_FALSE(sourceChanges(grey(yuv), grey(bgra)).has_value());
    EXPECT_FALSE(sourceChanges(grey(yuv), grey(smaller)).has_value());
    EXPECT_FALSE(sourceChanges(media::PixelBuffer(), grey(yuv)).has_value());
}

} // namespace
} // namespace vi
