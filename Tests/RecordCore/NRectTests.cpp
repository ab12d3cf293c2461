#include "RecordCore/NRect.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vi {
namespace {

TEST(NRect, ClampedToUnitCapsSizeThenMovesInside) {
    struct Case {
        NRect in, expected;
    };
    const Case cases[] = {
        {{0.875, 0.25, 0.25, 0.25}, {0.75, 0.25, 0.25, 0.25}},
        {{-0.125, -0.25, 0.5, 0.5}, {0, 0, 0.5, 0.5}},
        {{0.375, 0.375, 1.5, 2}, {0, 0, 1, 1}},
        // A negative size is left alone; the upper bound then exceeds 1.
        {{2, 0.5, -0.5, 0.25}, {1.5, 0.5, -0.5, 0.25}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.in.clampedToUnit(), c.expected) << c.in.x << "," << c.in.y;
}

TEST(NRect, ContainsRectangleWithinRoundingTolerance) {
    EXPECT_TRUE(NRect::full().contains(NRect(0, 0, 1.0000000005, 1)));
    EXPECT_FALSE(NRect::full().contains(NRect(0, 0, 1.00001, 1)));
    EXPECT_FALSE(NRect::full().contains(NRect(-0.00001, 0, 0.5, 0.5)));
    const NRect r(0.2, 0.3, 0.4, 0.5);
    EXPECT_TRUE(r.contains(r));
}

TEST(NRect, ContainsPointIncludingBorder) {
    EXPECT_TRUE(NRect::full().contains(1.0, 1.0));
    EXPECT_TRUE(NRect(0, 0, 0.5, 0.5).contains(0.5, 0.5));
    EXPECT_FALSE(NRect(0, 0, 0.5, 0.5).contains(0.5000001, 0.5));
}

TEST(NRect, ScalingKeepsCentre) {
    EXPECT_EQ(NRect(0.25, 0.25, 0.5, 0.5).scaled(2), NRect(0, 0, 1, 1));
    EXPECT_EQ(NRect(0.25, 0.25, 0.5, 0.5).scaled(0.5), NRect(0.375, 0.375, 0.25, 0.25));
}

TEST(NRect, UnionAndCentredConstruction) {
    EXPECT_EQ(NRect(0.125, 0.125, 0.25, 0.25).united(NRect(0.5, 0.625, 0.125, 0.125)), NRect(0.125, 0.125, 0.5, 0.625));
    // A rectangle of zero size still contributes its corner.
    EXPECT_EQ(NRect(0.5, 0.5, 0, 0).united(NRect(0.75, 0.75, 0.125, 0.125)), NRect(0.5, 0.5, 0.375, 0.375));
    EXPECT_EQ(NRect::centered(0.5, 0.5, 0.25, 0.5), NRect(0.375, 0.25, 0.25, 0.5));
    const NRect r(0.125, 0.25, 0.5, 0.25);
    EXPECT_EQ(r.midX(), 0.375);
    EXPECT_EQ(r.midY(), 0.375);
    EXPECT_EQ(r.maxX(), 0.625);
    EXPECT_EQ(r.maxY(), 0.5);
}

TEST(NRect, JsonNeedsAllFourNumbersAndIgnoresExtras) {
    using nlohmann::json;
    EXPECT_EQ(json::parse(R"({"x":0,"y":0,"w":1,"h":1,"label":"whole"})").get<NRect>(), NRect::full());
    EXPECT_ANY_THROW(json::parse(R"({"x":0,"y":0,"w":1})").get<NRect>());
    EXPECT_ANY_THROW(json::parse(R"({"x":0,"y":0,"w":1,"h":"1"})").get<NRect>());
    EXPECT_ANY_THROW(json::parse(R"([0,0,1,1])").get<NRect>());
    const NRect r(0.1, 0.2, 0.3, 0.4);
    EXPECT_EQ(json(r).get<NRect>(), r);
}

} // namespace
} // namespace vi
