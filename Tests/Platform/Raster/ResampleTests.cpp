#include "Platform/Raster/Resample.h"
#include "RasterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vi::raster {
namespace {

using test::makeImage;
using test::opaque;

Image verticalEdge(int width, int height, int edgeX) {
    return makeImage(width, height, [=](int x, int) { return x >= edgeX ? opaque(255, 255, 255) : opaque(0, 0, 0); });
}

// Where a rising edge from black to white sits in row `y`: every filter here keeps the area under
// the picture, so the white area from the edge to the row's end tells the edge's position
// more precisely than any single pixel could.
double edgePosition(const Image& image, int y) {
    const IntRect e = image.extent();
    double white = 0;
    for (int x = e.x; x < e.right(); ++x) {
        white += image.at(x, y).r / 255.0;
    }
    return e.right() - white;
}

TEST(RasterResample, WholePixelIdentityIsAnExactCopy) {
    const Image image = makeImage(37, 21, [](int x, int y) { return Pixel{std::uint8_t(x * 7), std::uint8_t(y * 11), 3, 255}; }, {4, 5});
    for (const auto filter : {ResampleFilter::automatic, ResampleFilter::bilinear}) {
        Resampler resampler;
        const Image copy = resampler.resample(image, RectF::from(image.extent()), RectF::from(image.extent()), {Edges::clamp, filter});
        ASSERT_EQ(copy.extent(), image.extent());
        for (int y = 5; y < 26; ++y) {
            for (int x = 4; x < 41; ++x) {
                ASSERT_EQ(copy.at(x, y), image.at(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(RasterResample, EdgesLandAtTheirSubPixelPositions) {
    // A sharp edge at source x = 100, drawn at several scales and fractional offsets: its halfway
    // point must land where the mapping puts x = 100, to a small fraction of a pixel.
    const Image edge = verticalEdge(200, 8, 100);
    struct Case {
        double fromX, fromWidth, toX, toWidth;
    };
    for (const Case c : {Case{0, 200, 10.25, 143.1}, Case{0.37, 199, 3.6, 139.3}, Case{50.3, 100, 0.0, 173.9},
                         Case{60.75, 80, 0.4, 80}, Case{0, 200, 0.5, 200}}) {
        Resampler resampler;
        const RectF from{c.fromX, 0, c.fromWidth, 8};
        const RectF to{c.toX, 0, c.toWidth, 8};
        const Image out = resampler.resample(edge, from, to);
        const double expected = c.toX + (100 - c.fromX) * c.toWidth / c.fromWidth;
        // Sampling the bilinear ramp at pixel centres alone can shift the sum by up to 1/(8 scale).
        EXPECT_NEAR(edgePosition(out, 4), expected, 0.05) << "from x " << c.fromX << " to x " << c.toX;
    }
}

TEST(RasterResample, ShrinkingFiltersFineDetailThatEnlargingKeeps) {
    // One-pixel stripes shrunk by 0.7: Lanczos averages them to an even grey, while plain
    // bilinear sampling aliases them into beats of high contrast.
    const Image stripes = makeImage(400, 4, [](int x, int) { return x % 2 ? opaque(255, 255, 255) : opaque(0, 0, 0); });
    auto contrast = [](const Image& image) {
        int low = 255, high = 0;
        for (int x = image.extent().x + 10; x < image.extent().right() - 10; ++x) {
            low = std::min<int>(low, image.at(x, 2).g);
            high = std::max<int>(high, image.at(x, 2).g);
        }
        return high - low;
    };
    Resampler resampler;
    const RectF from{0, 0, 400, 4};
    const RectF to{0, 0, 280, 4};
    EXPECT_LT(contrast(resampler.resample(stripes, from, to, {Edges::clamp, ResampleFilter::automatic})), 40);
    EXPECT_GT(contrast(resampler.resample(stripes, from, to, {Edges::clamp, ResampleFilter::bilinear})), 150);
}

TEST(RasterResample, FlatPicturesStayExactlyFlat) {
    const Image flat = makeImage(300, 200, [](int, int) { return Pixel{40, 90, 200, 255}; });
    Resampler resampler;
    for (const RectF to : {RectF{0.3, 0.7, 123.4, 77.7}, RectF{-5.5, -3.25, 640.2, 420.9}}) {
        const Image out = resampler.resample(flat, {0.25, 0.5, 299.5, 199}, to);
        for (int y = out.extent().y; y < out.extent().bottom(); y += 7) {
            for (int x = out.extent().x; x < out.extent().right(); x += 5) {
                ASSERT_EQ(out.at(x, y), (Pixel{40, 90, 200, 255})) << x << "," << y;
            }
        }
    }
}

TEST(RasterResample, BeyondTheSourceEdgesClampOrVanish) {
    const Image image = makeImage(10, 10, [](int x, int) { return x < 5 ? opaque(255, 0, 0) : opaque(0, 0, 255); });
    Resampler resampler;
    // The source's rectangle lands on (20, 20, 20, 20); the target reaches 20 pixels beyond it.
    Bitmap clamped(60, 60);
    resampler.render(image, {0, 0, 10, 10}, {20, 20, 20, 20}, clamped, {Edges::clamp});
    EXPECT_EQ(clamped.at(0, 0), opaque(255, 0, 0));
    EXPECT_EQ(clamped.at(59, 30), opaque(0, 0, 255));
    Bitmap transparent(60, 60);
    resampler.render(image, {0, 0, 10, 10}, {20, 20, 20, 20}, transparent, {Edges::transparent});
    EXPECT_EQ(transparent.at(5, 30), Pixel{});
    EXPECT_EQ(transparent.at(25, 30), opaque(255, 0, 0));
    EXPECT_EQ(transparent.at(19, 30).a, 64); // sampled a quarter of a pixel beyond the source
    EXPECT_EQ(transparent.at(18, 30).a, 0);
}

TEST(RasterResample, MirroringFlipsWithinTheRectangle) {
    const Image image = makeImage(8, 2, [](int x, int) { return opaque(std::uint8_t(x * 30), 0, 0); });
    Resampler resampler;
    const Image out = resampler.resample(image, {0, 0, 8, 2}, {0, 0, 8, 2}, {Edges::clamp, ResampleFilter::automatic, true});
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(out.at(x, 1).r, (7 - x) * 30);
    }
}

TEST(RasterResample, VectorAndPortableLoopsGiveIdenticalPixels) {
    const Image image = makeImage(331, 197, [](int x, int y) {
        const auto a = std::uint8_t((x * 13 + y * 7) % 256);
        return Pixel{std::uint8_t(std::min<int>(a, (x * 29) % 256)), std::uint8_t(a / 3), std::uint8_t(std::min<int>(a, y)), a};
    }, {-3, 2});
    struct Case {
        RectF from, to;
        ResampleOptions options;
    };
    const std::vector<Case> cases = {
        {{0.4, 1.3, 330, 195}, {10.7, 3.1, 236.6, 140.2}, {}},                                        // Lanczos shrink
        {{80.2, 40.9, 61.3, 35}, {0.25, 0.75, 201.1, 117.4}, {}},                                    // bilinear enlarge
        {{-3, 2, 331, 197}, {-20.5, -9, 97.3, 58.8}, {Edges::transparent, ResampleFilter::automatic, true}},
        {{10, 10, 300, 170}, {0, 0, 3.4, 1.9}, {}},                                                  // deep shrink
        // Mild to strong shrinks: filters of 6 to 12 taps, some not a whole number of groups of
        // four, and widths that leave a few outputs over after the vector loop.
        {{0.6, 0, 330, 197}, {0.3, 0.2, 316.2, 180.1}, {}},
        {{-3, 2, 331, 197}, {1.45, 0, 249.2, 150.3}, {Edges::transparent, ResampleFilter::lanczos, false}},
        {{0.2, 0.9, 330, 196}, {0.7, 0.4, 205.9, 107.7}, {}},
        {{0.2, 0.9, 330, 196}, {0.1, 0.4, 131.5, 77.7}, {Edges::clamp, ResampleFilter::automatic, true}},
    };
    for (const Case& c : cases) {
        Resampler portable;
        portable.setLoops(ResampleLoops::portable);
        const Image b = portable.resample(image, c.from, c.to, c.options);
        for (const ResampleLoops loops : {ResampleLoops::fastest, ResampleLoops::ssse3}) {
            Resampler fast;
            fast.setLoops(loops);
            const Image a = fast.resample(image, c.from, c.to, c.options);
            ASSERT_EQ(a.extent(), b.extent());
            for (int y = a.extent().y; y < a.extent().bottom(); ++y) {
                for (int x = a.extent().x; x < a.extent().right(); ++x) {
                    ASSERT_EQ(a.at(x, y), b.at(x, y))
                        << x << "," << y << " to width " << c.to.width << " loops " << int(loops);
                    const Pixel p = a.at(x, y);
                    ASSERT_LE(std::max({p.r, p.g, p.b}), p.a);
                }
            }
        }
    }
}

TEST(RasterResample, AReusedResamplerMatchesFreshOnes) {
    // One resampler keeps the weights of its last view; changing views, a failed request in
    // between and a return to an earlier view must all draw what a fresh resampler draws.
    const Image image = makeImage(200, 120, [](int x, int y) { return opaque(std::uint8_t(x), std::uint8_t(y * 2), std::uint8_t(x ^ y)); });
    const RectF to{0.5, 0.25, 143.2, 85.9};
    const std::vector<RectF> views = {{0, 0, 200, 120}, {10.3, 5.1, 100, 0}, {10.3, 5.1, 100, 60},
                                      {10.3, 5.1, 100, 60.5}, {0, 0, 200, 120}};
    Resampler reused;
    for (const RectF& view : views) {
        Bitmap a(to.enclosingPixels());
        Bitmap b(to.enclosingPixels());
        reused.render(image, view, to, a);
        Resampler fresh;
        fresh.render(image, view, to, b);
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                ASSERT_EQ(a.at(x, y), b.at(x, y)) << "view height " << view.height << " at " << x << "," << y;
            }
        }
    }
}

TEST(RasterResample, ThreadCountDoesNotChangeThePixels) {
    const Image image = makeImage(640, 360, [](int x, int y) { return opaque(std::uint8_t(x ^ y), std::uint8_t(x * y), std::uint8_t(y)); });
    WorkerPool single(1);
    WorkerPool several(4);
    Resampler one(single);
    Resampler many(several);
    const RectF from{0.5, 0.25, 639, 359};
    const RectF to{1.3, 2.7, 458.1, 257.4};
    const Image a = one.resample(image, from, to);
    const Image b = many.resample(image, from, to);
    for (int y = a.extent().y; y < a.extent().bottom(); ++y) {
        for (int x = a.extent().x; x < a.extent().right(); ++x) {
            ASSERT_EQ(a.at(x, y), b.at(x, y));
        }
    }
}

TEST(RasterResample, TransformPlacesAnOverlayAtAFractionalPoint) {
    // A 20 x 20 opaque square scaled by 0.5 and moved to (10.25, 4.5): it covers 10.25...20.25.
    const Image square = makeImage(20, 20, [](int, int) { return opaque(255, 255, 255); });
    const Image placed = transformImage(square, 0.5, 0.5, 10.25, 4.5);
    EXPECT_EQ(placed.extent(), (IntRect{10, 4, 11, 11}));
    EXPECT_EQ(placed.at(15, 9).a, 255);
    EXPECT_NEAR(placed.at(10, 9).a, 255 * 0.75, 25); // three quarters of the pixel covered
    EXPECT_NEAR(placed.at(20, 9).a, 255 * 0.25, 25);
    EXPECT_TRUE(transformImage(square, 0, 1, 0, 0).isNull());
}

// The table the weights read stands in for the kernel closely enough that no 14-bit weight,
// and so no pixel, can tell them apart: off by far less than a weight's step everywhere,
// including the lobes' crossings and the support's end.
TEST(RasterResample, TabulatedKernelMatchesTheExactOne) {
    auto exact = [](double x) {
        auto sinc = [](double v) { return std::abs(v) < 1e-12 ? 1.0 : std::sin(std::numbers::pi * v) / (std::numbers::pi * v); };
        return std::abs(x) < 3 ? sinc(x) * sinc(x / 3) : 0.0;
    };
    constexpr double weightStep = 1.0 / 16384;
    double worst = 0;
    for (int i = -36000; i <= 36000; ++i) {
        const double x = i / 10000.0 + 0.00003; // off the table's own steps
        worst = std::max(worst, std::abs(lanczos3(x) - exact(x)));
    }
    EXPECT_LT(worst, weightStep / 8);
    EXPECT_DOUBLE_EQ(lanczos3(0), 1.0);
    EXPECT_EQ(lanczos3(3.0), 0.0);
    EXPECT_EQ(lanczos3(-7.5), 0.0);
}

TEST(RasterResample, DegenerateRequestsDrawNothing) {
    const Image image = makeImage(4, 4, [](int, int) { return opaque(1, 2, 3); });
    Resampler resampler;
    Bitmap target(8, 8);
    target.clear(opaque(9, 9, 9));
    resampler.render(image, {0, 0, 0, 4}, {0, 0, 8, 8}, target);
    EXPECT_EQ(target.at(3, 3), Pixel{});
    EXPECT_TRUE(resampler.resample(image, {0, 0, 4, 4}, {0, 0, NAN, 8}).isNull());
    EXPECT_TRUE(resampler.resample(Image{}, {0, 0, 4, 4}, {0, 0, 8, 8}).at(1, 1) == Pixel{});
}

} // namespace
} // namespace vi::raster
