#include "RecordCore/Wallpapers.h"

#include "Platform/Raster/Composite.h"
#include "Platform/Raster/ImageFile.h"
#include "RecordCore/Seeded.h"
#include "RecordCore/WallpaperPainters.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace vi {
namespace {

using raster::Image;

bool samePixels(const Image& a, const Image& b) {
    if (a.extent() != b.extent()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.row(y), b.row(y), std::size_t(a.width()) * 4) != 0) {
            return false;
        }
    }
    return true;
}

// How many draws a generator has taken since it was seeded with `seed`.
int drawsTaken(const Seeded& used, std::string_view seed) {
    Seeded fresh(seed);
    for (int n = 0; n < 1'000'000; ++n) {
        if (fresh.state == used.state) {
            return n;
        }
        fresh.next();
    }
    return -1;
}

TEST(SeededTests, FoldsTheTextAndDrawsSplitMix64) {
    // Reference values worked out independently of this code.
    Seeded empty("");
    EXPECT_EQ(empty.state, 0x14650FB0739D0383ULL);
    EXPECT_EQ(Seeded("a").state, (0x14650FB0739D0383ULL ^ 0x61ULL) * 0x100000001B3ULL);
    Seeded orbit("orbit");
    EXPECT_EQ(orbit.state, 0x1487F1EA5CC0DE4DULL);
    const double first[] = {0.7101063252429217, 0.13960139042857855, 0.93219800407359};
    for (double expected : first) {
        EXPECT_NEAR(orbit.next(), expected, 1e-12);
    }
    // Non-ASCII ids fold their UTF-8 bytes.
    EXPECT_NE(Seeded("\xC3\xA9").state, Seeded("e").state);

    Seeded dawn("orbit-dawn");
    Seeded again("orbit");
    EXPECT_NE(dawn.next(), again.next());
    Seeded range("x");
    for (int i = 0; i < 1000; ++i) {
        const double u = range.in(-2, 3);
        ASSERT_GE(u, -2);
        ASSERT_LT(u, 3);
    }
}

TEST(SeededTests, RidgeTakesDrawsForAPowerOfTwoOfPoints) {
    struct Case {
        int count;
        int draws; // 2 ends + N - 1 midpoints for N the next power of two
    };
    for (const Case c : {Case{1, 2}, Case{2, 3}, Case{4, 5}, Case{5, 9}, Case{642, 1025}}) {
        SCOPED_TRACE(c.count);
        Seeded rng("peaks-dusk");
        const std::vector<double> values = Wallpapers::ridge(c.count, rng, 0.55);
        EXPECT_EQ(int(values.size()), c.count);
        EXPECT_EQ(drawsTaken(rng, "peaks-dusk"), c.draws);
    }
    // The ends are the first two draws; the midpoint of three points is their mean, displaced.
    Seeded rng("r");
    const std::vector<double> three = Wallpapers::ridge(3, rng, 0.5);
    Seeded replay("r");
    const double a0 = replay.next();
    const double a4 = replay.next();
    const double a2 = (a0 + a4) / 2 + (replay.next() * 2 - 1);
    const double a1 = (a0 + a2) / 2 + (replay.next() * 2 * 0.5 - 0.5);
    EXPECT_DOUBLE_EQ(three[0], a0);
    EXPECT_DOUBLE_EQ(three[1], a1);
    EXPECT_DOUBLE_EQ(three[2], a2);
}

TEST(WallpaperTests, CatalogueListsEighteenInFourFamilies) {
    const auto& all = Wallpapers::all();
    ASSERT_EQ(all.size(), 18u);
    EXPECT_EQ(all.front().id, "orbit");
    EXPECT_EQ(all.back().id, "mesh-ember");
    EXPECT_EQ(all[10].name, "Grove");
    std::vector<std::string> families;
    std::set<std::string> ids;
    for (const auto& item : all) {
        if (families.empty() || families.back() != item.family) {
            families.push_back(item.family);
        }
        ids.insert(item.id);
    }
    EXPECT_EQ(families, (std::vector<std::string>{"Space", "Landscape", "Waves", "Glow"}));
    EXPECT_EQ(ids.size(), 18u);
    EXPECT_EQ(Wallpapers::find("Orbit"), nullptr);
    ASSERT_NE(Wallpapers::find("fjord"), nullptr);
    EXPECT_EQ(Wallpapers::find("fjord")->family, "Landscape");
}

TEST(WallpaperTests, EveryWallpaperRendersDeterministically) {
    constexpr int thumbWidth = 288;
    constexpr int thumbHeight = 180;
    constexpr int columns = 6;
    constexpr int gap = 8;
    const auto& all = Wallpapers::all();
    const int rows = int(all.size() + columns - 1) / columns;
    raster::Bitmap sheet(columns * (thumbWidth + gap) + gap, rows * (thumbHeight + gap) + gap);
    sheet.clear(raster::Color::gray(0.12).pixel());

    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& id = all[i].id;
        SCOPED_TRACE(id);
        const std::optional<Image> image = Wallpapers::render(id, thumbWidth + 0.7, thumbHeight + 0.2);
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->width(), thumbWidth);
        ASSERT_EQ(image->height(), thumbHeight);
        // Opaque everywhere, and a picture rather than one flat colour.
        int distinct = 0;
        raster::Pixel first = image->at(0, 0);
        for (int y = 0; y < thumbHeight; y += 7) {
            for (int x = 0; x < thumbWidth; x += 7) {
                const raster::Pixel p = image->at(x, y);
                ASSERT_EQ(p.a, 255);
                distinct += std::abs(int(p.r) - first.r) + std::abs(int(p.g) - first.g) > 24;
            }
        }
        EXPECT_GT(distinct, 20);
        EXPECT_TRUE(samePixels(*image, *Wallpapers::render(id, thumbWidth, thumbHeight)));
        const int column = int(i) % columns;
        const int row = int(i) / columns;
        raster::compositeOver(sheet,
                              image->placedAt({gap + column * (thumbWidth + gap), gap + row * (thumbHeight + gap)}));
    }
    ASSERT_TRUE(raster::writePng(std::move(sheet).freeze(), test::outputDirectory() / "wallpapers.png"));
}

TEST(WallpaperTests, UnknownIdsAndEmptySizesGiveNothing) {
    EXPECT_FALSE(Wallpapers::render("Orbit", 64, 40));
    EXPECT_FALSE(Wallpapers::render("mesh-", 64, 40));
    EXPECT_FALSE(Wallpapers::render("", 64, 40));
    EXPECT_FALSE(Wallpapers::render("orbit", 0, 40));
    EXPECT_FALSE(Wallpapers::render("orbit", 64, 0.5));
    EXPECT_FALSE(Wallpapers::render("orbit", std::nan(""), 40));
}

TEST(WallpaperTests, OnlyRidgesTakeMoreDrawsOnWiderCanvases) {
    namespace P = WallpaperPainters;
    auto drawsAt = [](int width, auto paint) {
        Seeded rng("probe");
        paint(double(width), width * 0.625, rng);
        return drawsTaken(rng, "probe");
    };
    const P::WavesPalette waves{{1, 1, 1}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}}}};
    const P::MeshPalette mesh{{0, 0, 0}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}}};
    auto orbit = [](double w, double h, Seeded& r) { P::orbit(w, h, r, false); };
    auto eclipse = [](double w, double h, Seeded& r) { P::eclipse(w, h, r); };
    auto dunes = [](double w, double h, Seeded& r) { P::dunes(w, h, r); };
    auto wave = [&](double w, double h, Seeded& r) { P::waves(w, h, r, waves); };
    auto glow = [&](double w, double h, Seeded& r) { P::mesh(w, h, r, mesh); };
    auto ridges = [](double w, double h, Seeded& r) { P::peaks(w, h, r, P::PeaksVariant::dawn); };

    EXPECT_EQ(drawsAt(96, orbit), 1600 * 3 + 500 * 4);
    EXPECT_EQ(drawsAt(192, orbit), drawsAt(96, orbit));
    EXPECT_EQ(drawsAt(96, eclipse), 700 * 3);
    EXPECT_EQ(drawsAt(96, dunes), 5 * 3);
    EXPECT_EQ(drawsAt(192, dunes), 5 * 3);
    EXPECT_EQ(drawsAt(96, wave), 5 * 6);
    EXPECT_EQ(drawsAt(192, wave), 5 * 6);
    // Four colours make six blobs: the first two come again, smaller.
    EXPECT_EQ(drawsAt(96, glow), 6 * 3);
    EXPECT_EQ(drawsAt(192, glow), 6 * 3);
    // Dawn has no stars: one glow draw, then six ridges of W/6 + 2 points (18 -> N 32, 34 -> 64).
    EXPECT_EQ(drawsAt(96, ridges), 1 + 6 * (2 + 31));
    EXPECT_EQ(drawsAt(192, ridges), 1 + 6 * (2 + 63));
}

} // namespace
} // namespace vi
