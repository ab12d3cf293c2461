#include "RecordCore/Planner.h"
#include "RecordCore/PlannerClicks.h"
#include "RecordCore/PlannerZoom.h"

#include "PlanningExpect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>

namespace vi {
namespace {

using namespace Planner::detail;
using Kind = InputLog::Event::Kind;

constexpr BaseSize full{1, 1};
// A 9:16 window over a 16:9 source.
constexpr double portraitW = 0.31640625;
constexpr BaseSize portrait{portraitW, 1};
const NRect fullBase{0, 0, 1, 1};

TEST(BaseSizeOfView, FitsTheWindowInsideTheSource) {
    struct Case {
        double aspect;
        int width, height;
        BaseSize expected;
    };
    for (const Case& c : {Case{16.0 / 9, 1920, 1080, {1, 1}}, Case{9.0 / 16, 1920, 1080, {portraitW, 1}},
                          Case{1, 1920, 1080, {0.5625, 1}}, Case{16.0 / 9, 1080, 1080, {1, 0.5625}},
                          Case{16.0 / 9, 0, 0, {1, 1}}, Case{16.0 / 9, 1920, 0, {1, 1}}}) {
        const BaseSize b = baseSize(c.aspect, SourceInfo{c.width, c.height, 10, 60, false});
        EXPECT_NEAR(b.w, c.expected.w, 1e-12) << c.width << "x" << c.height << " at " << c.aspect;
        EXPECT_NEAR(b.h, c.expected.h, 1e-12) << c.width << "x" << c.height << " at " << c.aspect;
    }
}

TEST(TargetFraming, Cases) {
    struct Case {
        std::string name;
        NRect box;
        BaseSize base;
        double cap;
        NRect expected;
    };
    const std::vector<Case> cases = {
        {"a click near the corner: zoom capped at 1.7 and kept inside", {0.85, 0.85, 0.2, 0.2}, full, 1.7,
         {0.4118, 0.4118, 0.5882, 0.5882}},
        {"two focus boxes' union: the origin is raised to 0", {0.1, 0.1, 0.3, 0.2}, full, 1.7,
         {0, 0, 0.5882, 0.5882}},
        {"a click in a portrait window", {0.8 - 0.1 * portraitW, 0.4, 0.2 * portraitW, 0.2}, portrait, 1.7,
         {0.7069, 0.2059, 0.1861, 0.5882}},
        {"a box too large to zoom pans the narrower base view onto it", {0.6, 0.2, 0.3, 0.5}, portrait, 1.7,
         {0.5918, 0, portraitW, 1}},
        {"a box needing less than x1.35 shows the whole source", {0.2, 0.2, 0.6, 0.2}, full, 1.7, fullBase},
        {"a cap of 1 never zooms", {0.85, 0.85, 0.2, 0.2}, full, 1.0, fullBase},
        {"a small box below the cap zooms to fit", {0.4, 0.4, 0.4, 0.4}, full, 3, {0.315, 0.315, 0.57, 0.57}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<NRect> view = frameTarget(c.box, c.base, c.cap);
        ASSERT_TRUE(view.has_value());
        test::expectRectNear(*view, c.expected);
    }
    // Boxes from broken measurements: kept inside where that is defined, else no target.
    const double inf = std::numeric_limits<double>::infinity();
    test::expectRectNear(frameTarget({inf, 0.2, 0.1, 0.1}, full, 1.7).value(), {0.4118, 0, 0.5882, 0.5882});
    EXPECT_EQ(frameTarget({0.2, 0.2, inf, 0.1}, full, 1.7), fullBase);
    EXPECT_FALSE(frameTarget({std::nan(""), 0.2, 0.1, 0.1}, full, 1.7).has_value());
}

InputLog clicksAt(std::vector<double> times, double x, double y) {
    std::vector<InputLog::Event> events;
    for (double t : times) events.push_back({t, Kind::click, x, y});
    return InputLog({}, std::move(events), true);
}

TEST(ShotFinderTargets, ActivityWindowUnitesStrongFocusBoxes) {
    const std::vector<ActivitySample> samples = {
        {1.0, 0.02, NRect{0.1, 0.1, 0.1, 0.1}},
        {1.2, 0.01, NRect{0.3, 0.2, 0.1, 0.1}},
        {1.3, 0.006, NRect{0.8, 0.8, 0.1, 0.1}}, // below 0.35 of the strongest: left out
        {1.4, 0.025, std::nullopt},               // the strongest, but without a box
    };
    const std::vector<Target> targets = findTargets(3, samples, nullptr, full, 1.7);
    ASSERT_EQ(targets.size(), 12u);
    // At 0.5 the window [0, 1.5) holds all four; the union (0.1, 0.1, 0.3, 0.2) needs x2.27,
    // capped at 1.7, and the view is pushed into the corner.
    ASSERT_TRUE(targets[2].view.has_value());
    test::expectRectNear(*targets[2].view, {0, 0, 0.5882, 0.5882});
    // At 2.0 the window [1.5, 3) is empty: no target.
    EXPECT_EQ(targets[8].t, 2.0);
    EXPECT_FALSE(targets[8].view.has_value());
}

TEST(ShotFinderTargets, ClickWinsOverActivityAndWithoutPositionFallsBack) {
    std::vector<ActivitySample> samples;
    for (double t = 0; t < 4; t += 1.0 / 15) samples.push_back({t, 0.3, NRect{0.05, 0.05, 0.1, 0.1}});
    std::vector<InputLog::Event> events = {{1.0, Kind::click, 0.9, 0.9},
                                           {1.1, Kind::key, std::nullopt, std::nullopt},
                                           {3.0, Kind::rightClick, std::nullopt, std::nullopt}};
    const InputLog log({}, events, true);
    const std::vector<Target> targets = findTargets(4, samples, &log, full, 1.7);
    // 1.0 is within 0.6 s of the click at 1.0: the click frames the corner it was made in.
    ASSERT_TRUE(targets[4].view.has_value());
    EXPECT_GT(targets[4].view->x, 0.4);
    // 3.0: the right click has no position, so the screen's change (top-left) is the target.
    ASSERT_TRUE(targets[12].view.has_value());
    EXPECT_EQ(targets[12].view->x, 0);
}

// Hysteresis, fed with targets directly: a steady target not near the base view.
const NRect zoomedLeft{0.05, 0.05, 0.5882, 0.5882};
const NRect zoomedRight{0.4, 0.4, 0.5882, 0.5882};

void expectShots(const std::vector<Shot>& actual, const std::vector<Shot>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].start, expected[i].start, 1e-9) << i;
        test::expectRectNear(actual[i].view, expected[i].view, 1e-12);
    }
}

std::vector<Target> targetsOver(double duration, const std::function<std::optional<NRect>(double)>& at) {
    std::vector<Target> targets;
    for (int i = 0; i * 0.25 < duration; ++i) targets.push_back({i * 0.25, at(i * 0.25)});
    return targets;
}

TEST(ShotFinderHysteresis, Cases) {
    struct Case {
        std::string name;
        std::function<std::optional<NRect>(double)> target;
        std::vector<Shot> expected;
    };
    const std::vector<Case> cases = {
        {"no targets: only the base view", [](double) { return std::nullopt; }, {{0, fullBase}}},
        {"targets near the base view make no shot", [](double) { return NRect{0.01, 0, 0.99, 0.99}; },
         {{0, fullBase}}},
        {"first seen at 3.0: shot at 4.0 starting 0.35 s early",
         [](double t) { return t >= 3 ? std::optional(zoomedLeft) : std::nullopt; },
         {{0, fullBase}, {2.65, zoomedLeft}}},
        {"first seen at 0.5: waits for 2.6 s after the first shot, starts 2 s after it",
         [](double t) { return t >= 0.5 ? std::optional(zoomedLeft) : std::nullopt; },
         {{0, fullBase}, {2.0, zoomedLeft}}},
        {"last target at 10 after a shot: back to base at 12.75",
         [](double t) { return t >= 8.25 && t <= 10 ? std::optional(zoomedLeft) : std::nullopt; },
         {{0, fullBase}, {7.9, zoomedLeft}, {12.75, fullBase}}},
        {"a target that jumps about never settles",
         [](double t) { return static_cast<int>(t * 4) % 2 ? std::optional(zoomedLeft) : std::optional(zoomedRight); },
         {{0, fullBase}}},
        {"a second target takes over 2.6 s after the first shot at the earliest",
         [](double t) {
             if (t < 3) return std::optional(zoomedLeft);
             return std::optional(zoomedRight);
         },
         {{0, fullBase}, {2.0, zoomedLeft}, {4.0, zoomedRight}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectShots(shotsOfTargets(targetsOver(20, c.target), full), c.expected);
    }
}

TEST(ShotFinder, ClicksBecomeAShotAndTheEndReturnsToBase) {
    // Clicks at 8.75 and 9.5 make targets from 8.25 to 10.0.
    const InputLog log = clicksAt({8.75, 9.5}, 0.2, 0.3);
    const std::vector<Shot> shots = findShots(20, {}, &log, full, true, 1.7);
    ASSERT_EQ(shots.size(), 3u);
    EXPECT_EQ(shots[0], (Shot{0, fullBase}));
    EXPECT_NEAR(shots[1].start, 7.9, 1e-9);
    test::expectRectNear(shots[1].view, {0, 0.0059, 0.5882, 0.5882});
    EXPECT_EQ(shots[2], (Shot{12.75, fullBase}));

    EXPECT_EQ(findShots(20, {}, &log, full, false, 1.7), std::vector<Shot>{(Shot{0, fullBase})}); // no zoom
    EXPECT_EQ(findShots(0, {}, &log, full, true, 1.7), std::vector<Shot>{(Shot{0, fullBase})});
}

TEST(ZoomBlocksOfShots, LeavesOutBaseAndTinyShots) {
    const std::vector<Shot> shots = {{0, fullBase},
                                     {2, {0.1, 0.1, 0.5, 0.5}},
                                     {5, {0.0, 0.005, 1, 1}}, // unzoomed and near centre: base
                                     {7, {0.3, 0.3, 0.5, 0.5}},
                                     {7.04, {0.2, 0.2, 0.5, 0.5}}, // too short
                                     {9, {0.25, 0.0, 1, 1}}};      // unzoomed but off centre
    const std::vector<ZoomBlock> blocks = blocksOfShots(shots, 12, full);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].start, 2);
    EXPECT_EQ(blocks[0].end, 5);
    EXPECT_DOUBLE_EQ(blocks[0].x, 0.35);
    EXPECT_DOUBLE_EQ(blocks[0].zoom, 2);
    EXPECT_EQ(blocks[1].start, 7.04);
    EXPECT_EQ(blocks[1].end, 9);
    EXPECT_EQ(blocks[2].start, 9);
    EXPECT_EQ(blocks[2].end, 12);
    EXPECT_DOUBLE_EQ(blocks[2].x, 0.75);
}

TEST(ShotsOfZoomBlocks, Cases) {
    const NRect first{0.2, 0.2, 0.5, 0.5};   // centre (0.45, 0.45), zoom 2
    const NRect second{0.5, 0.5, 0.5, 0.5};  // centre (0.8, 0.8) pushed inside
    const ZoomBlock a(2, 5, 0.45, 0.45, 2);
    struct Case {
        std::string name;
        std::vector<ZoomBlock> blocks;
        std::vector<Shot> expected;
    };
    const std::vector<Case> cases = {
        {"no blocks", {}, {{0, fullBase}}},
        {"touching blocks hand over", {ZoomBlock(5.03, 8, 0.8, 0.8, 2), a},
         {{0, fullBase}, {2, first}, {5.03, second}, {8, fullBase}}},
        {"apart blocks return to base between", {a, ZoomBlock(6, 8, 0.8, 0.8, 2)},
         {{0, fullBase}, {2, first}, {5, fullBase}, {6, second}, {8, fullBase}}},
        {"a zoom below 1 frames like 1", {ZoomBlock(1, 2, 0.5, 0.5, 0.5)}, {{0, fullBase}, {1, fullBase}, {2, fullBase}}},
        {"blocks that are not numbers are left out",
         {ZoomBlock(std::numeric_limits<double>::quiet_NaN(), 2, 0.5, 0.5, 2),
          ZoomBlock(1, 2, 0.5, 0.5, std::numeric_limits<double>::infinity())},
         {{0, fullBase}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectShots(shotsOfBlocks(c.blocks, full), c.expected);
    }
}

// The index must give what a backwards search of the whole log gives, for logs in any order,
// with equal times and with clicks that have no position.
TEST(ClickWindowIndex, AgreesWithSearchingTheLog) {
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        std::vector<InputLog::Event> events;
        for (int i = 0; i < 200; ++i) {
            const double t = static_cast<double>(random() % 400) * 0.1;
            const Kind kind = static_cast<Kind>(random() % 4);
            events.push_back({t, kind, 0.5, 0.5});
        }
        if (round % 2 == 0) {
            std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.t < b.t; });
        }
        const InputLog log({}, events, true);
        ClickWindow window(&log);
        for (double t = 0; t < 45; t += 0.25) {
            const InputLog::Event* expected = nullptr;
            for (auto it = log.events().rbegin(); it != log.events().rend(); ++it) {
                const bool click = it->kind == Kind::click || it->kind == Kind::rightClick;
                if (click && it->t >= t - 0.6 && it->t < t + 0.6) {
                    expected = &*it;
                    break;
                }
            }
            ASSERT_EQ(window.last(t - 0.6, t + 0.6), expected) << "round " << round << " t " << t;
        }
    }
}

TEST(AutoZoom, NothingToFollowGivesNoBlocks) {
    const SourceInfo info{1920, 1080, 30, 60, false};
    EXPECT_TRUE(Planner::autoZoomBlocks(info, {}, std::nullopt, 16.0 / 9, 1.7).empty());
    const std::optional<InputLog> log = clicksAt({8.75, 9.5}, 0.2, 0.3);
    const std::vector<ZoomBlock> blocks = Planner::autoZoomBlocks(info, {}, log, 16.0 / 9, 1.7);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_NEAR(blocks[0].start, 7.9, 1e-9);
    EXPECT_DOUBLE_EQ(blocks[0].end, 12.75);
    EXPECT_NEAR(blocks[0].zoom, 1.7, 1e-12);
    EXPECT_NEAR(blocks[0].x, 0.2941, 1e-4); // pushed inside: the view's centre, not the click's
}

} // namespace
} // namespace vi
