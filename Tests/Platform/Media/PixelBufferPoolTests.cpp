#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelBufferPool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace vi::media {
namespace {

TEST(PixelBufferPool, SteadyLoopReusesTheSameBuffers)
{
    PixelBufferPool pool(PixelFormat::bgra, 64, 36);
    PixelBuffer previous;
    for (int frame = 0; frame < 100; ++frame) {
        PixelBuffer current = pool.acquire();
        ASSERT_EQ(current.width(), 64);
        ASSERT_EQ(current.stride(0) % 64, 0);
        current.data(0)[0] = static_cast<uint8_t>(frame);
        previous = current; // a consumer holding the last frame while the next is made
    }
    EXPECT_LE(pool.buffersMade(), 2u);
}

TEST(PixelBufferPool, BuffersOutliveThePoolAndCrossThreads)
{
    std::vector<PixelBuffer> kept;
    {
        PixelBufferPool pool(PixelFormat::yuv420p, 32, 18);
        for (int i = 0; i < 4; ++i)
            kept.push_back(pool.acquire());
    }
    ASSERT_EQ(kept[0].planeCount(), 3);
    EXPECT_NE(kept[0].data(2), nullptr);
    std::thread releaser([moved = std::move(kept)]() mutable { moved.clear(); });
    releaser.join();
}

TEST(PixelBufferPool, RefusesImpossibleSizes)
{
    EXPECT_THROW(PixelBufferPool(PixelFormat::bgra, 0, 10), MediaError);
    EXPECT_THROW(PixelBufferPool(PixelFormat::bgra, 10, -1), MediaError);
    EXPECT_THROW(PixelBufferPool(PixelFormat::bgra, 100000, 10), MediaError);
    EXPECT_THROW(PixelBufferPool(PixelFormat::nv12, 33, 18), MediaError);
}

} // namespace
} // namespace vi::media
