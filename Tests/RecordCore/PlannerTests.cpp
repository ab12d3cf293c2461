#include "RecordCore/Planner.h"

#include "PlanningExpect.h"
#include "Support/SyntheticSession.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;

const SourceInfo tenSeconds{1920, 1080, 10, 60, true};
constexpr double wide = 16.0 / 9;
const NRect fullBase{0, 0, 1, 1};

// What every plan must be, whatever it was made from: segments from 0 covering the source in
// order with positive finite speeds, a finite output, shots ordered from the base view at 0.
void expectValidPlan(const Plan& plan) {
    EXPECT_TRUE(std::isfinite(plan.source.duration));
    double covered = 0;
    for (const SpeedSegment& s : plan.segments) {
        EXPECT_NEAR(s.start, covered, 1e-6) << s;
        EXPECT_LE(s.start, s.end) << s;
        EXPECT_GT(s.speed, 0) << s;
        EXPECT_TRUE(std::isfinite(s.speed)) << s;
        covered = s.end;
    }
    if (!plan.segments.empty()) {
        EXPECT_NEAR(covered, plan.source.duration, 1e-6);
    }
    EXPECT_TRUE(std::isfinite(plan.outputDuration()));
    ASSERT_FALSE(plan.shots.empty());
    EXPECT_EQ(plan.shots.front().start, 0);
    for (std::size_t i = 0; i < plan.shots.size(); ++i) {
        const NRect& v = plan.shots[i].view;
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.w) && std::isfinite(v.h)) << v;
        if (i > 0) {
            EXPECT_LE(plan.shots[i - 1].start, plan.shots[i].start);
        }
    }
    EXPECT_TRUE(plan.baseW > 0 && plan.baseW <= 1 && plan.baseH > 0 && plan.baseH <= 1);
}

// Real time trimmed to [1, 9] with a cut [4, 5], a title and the default end card.
Project trimmedWithCards() {
    Project project;
    project.speedBlocks = std::vector<SpeedBlock>{};
    project.trimStart = 1;
    project.trimEnd = 9;
    project.cuts = {{4, 5}};
    project.showTitle = true;
    project.title = "Demo";
    project.showEnd = true;
    return project;
}

TEST(PlanAssembly, SpeedSourcesAndHolds) {
    struct Case {
        std::string name;
        Project project;
        std::vector<SpeedSegment> expected;
    };
    std::vector<Case> cases;
    cases.push_back({"automatic speed-ups by default", Project{},
                     {{0, 0.4, 1, Reason::normal}, {0.4, 9.5, 11, Reason::idle}, {9.5, 10, 1, Reason::normal}}});
    Project off;
    off.skipWaiting = false;
    cases.push_back({"skipping waits off", off, {{0, 10, 1, Reason::normal}}});
    Project none;
    none.speedBlocks = std::vector<SpeedBlock>{};
    cases.push_back({"an empty list of blocks means no speed-ups", none, {{0, 10, 1, Reason::normal}}});
    Project own;
    own.speedBlocks = std::vector<SpeedBlock>{SpeedBlock(2, 4, 3, Reason::manual)};
    cases.push_back({"the user's blocks replace the automatic ones", own,
                     {{0, 2, 1, Reason::normal}, {2, 4, 3, Reason::manual}, {4, 10, 1, Reason::normal}}});

    cases.push_back({"trims and a cut, held behind the title and end cards", trimmedWithCards(),
                     {{0, 1, 1, Reason::cut},
                      {1, 1.04, 0.04 / 2.2, Reason::hold},
                      {1.04, 4, 1, Reason::normal},
                      {4, 5, 1, Reason::cut},
                      {5, 8.96, 1, Reason::normal},
                      {8.96, 9, 0.04 / 2.8, Reason::hold},
                      {9, 10, 1, Reason::cut}}});
    Project blankTitle = none;
    blankTitle.showTitle = true;
    cases.push_back({"an empty title holds nothing", blankTitle, {{0, 10, 1, Reason::normal}}});
    Project spaceTitle = blankTitle;
    spaceTitle.title = " ";
    cases.push_back({"a title of one space still holds", spaceTitle,
                     {{0, 0.04, 0.04 / 2.2, Reason::hold}, {0.04, 10, 1, Reason::normal}}});
    Project hiddenEnd = none;
    hiddenEnd.endTitle = "";
    hiddenEnd.showEnd = true;
    cases.push_back({"an end card without text holds nothing", hiddenEnd, {{0, 10, 1, Reason::normal}}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Plan plan = Planner::plan(tenSeconds, {}, std::nullopt, c.project, wide);
        test::expectSegments(plan.segments, c.expected);
        expectValidPlan(plan);
    }
}

TEST(PlanAssembly, TrimsCutsAndCardsGiveTheOutputLength) {
    const Plan plan = Planner::plan(tenSeconds, {}, std::nullopt, trimmedWithCards(), wide);
    EXPECT_NEAR(plan.outputDuration(), 2.2 + 2.96 + 3.96 + 2.8, 1e-9);
    EXPECT_NEAR(plan.sourceTime(0), 1, 1e-12);              // the title shows the first kept frame
    EXPECT_NEAR(plan.sourceTime(2.2 + 2.96 + 1e-6), 5, 1e-5); // straight past the cut
    EXPECT_NEAR(plan.sourceTime(plan.outputDuration()), 10, 1e-12);
}

TEST(PlanAssembly, ZoomSources) {
    const std::optional<InputLog> clicks =
        InputLog({}, {{8.75, InputLog::Event::Kind::click, 0.2, 0.3}, {9.5, InputLog::Event::Kind::click, 0.2, 0.3}}, true);
    const SourceInfo twenty{1920, 1080, 20, 60, false};

    Project automatic;
    const Plan followed = Planner::plan(twenty, {}, clicks, automatic, wide);
    ASSERT_EQ(followed.shots.size(), 3u);
    EXPECT_NEAR(followed.shots[1].start, 7.9, 1e-9);
    test::expectRectNear(followed.shots[1].view, {0, 0.0059, 0.5882, 0.5882});
    EXPECT_EQ(followed.shots[2], (Shot{12.75, fullBase}));

    Project still = automatic;
    still.followAction = false;
    EXPECT_EQ(Planner::plan(twenty, {}, clicks, still, wide).shots, std::vector<Shot>{(Shot{0, fullBase})});

    Project own = automatic;
    own.zoomBlocks = std::vector<ZoomBlock>{ZoomBlock(2, 5, 0.45, 0.45, 2)};
    const Plan manual = Planner::plan(twenty, {}, clicks, own, wide);
    ASSERT_EQ(manual.shots.size(), 3u);
    EXPECT_EQ(manual.shots[1], (Shot{2, NRect{0.2, 0.2, 0.5, 0.5}}));
    EXPECT_EQ(manual.shots[2], (Shot{5, fullBase}));

    Project capped = automatic;
    capped.maxZoom = 1.5;
    EXPECT_NEAR(Planner::plan(twenty, {}, clicks, capped, wide).shots[1].view.w, 1 / 1.5, 1e-12);
}

TEST(PlanAssembly, WorksInTheCroppedPicture) {
    Project project;
    project.crop = NRect{0.25, 0.25, 0.5, 0.5};
    // In the full frame; (0.2, 0.3) inside the crop.
    const std::optional<InputLog> clicks =
        InputLog({}, {{8.75, InputLog::Event::Kind::click, 0.35, 0.4}, {9.5, InputLog::Event::Kind::click, 0.35, 0.4}}, true);
    const Plan plan = Planner::plan({1920, 1080, 20, 60, false}, {}, clicks, project, 9.0 / 16);
    EXPECT_EQ(plan.source.width, 960);
    EXPECT_EQ(plan.source.height, 540);
    EXPECT_EQ(plan.crop, project.crop);
    EXPECT_NEAR(plan.baseW, 0.31640625, 1e-12);
    ASSERT_EQ(plan.shots.size(), 3u);
    // A portrait view centred on the click's position in the cropped picture.
    EXPECT_NEAR(plan.shots[1].view.midX(), 0.2, 1e-9);
}

TEST(PlanAssembly, WithoutAProject) {
    const std::optional<InputLog> clicks =
        InputLog({}, {{8.75, InputLog::Event::Kind::click, 0.2, 0.3}, {9.5, InputLog::Event::Kind::click, 0.2, 0.3}}, true);
    const SourceInfo twenty{1920, 1080, 20, 60, false};
    const Plan plan = Planner::plan(twenty, {}, clicks, PlanOptions(wide));
    EXPECT_FALSE(plan.crop.has_value());
    EXPECT_EQ(plan.shots.size(), 3u);
    // The shot finder's own shots: the return to base is the finder's, at 12.75.
    EXPECT_EQ(plan.shots.back(), (Shot{12.75, fullBase}));
    expectValidPlan(plan);

    const Plan plain = Planner::plan(twenty, {}, clicks, PlanOptions(wide, false, false));
    test::expectSegments(plain.segments, {{0, 20, 1, Reason::normal}});
    EXPECT_EQ(plain.shots, std::vector<Shot>{(Shot{0, fullBase})});
}

TEST(PlanAssembly, EmptyRecordingGivesAnEmptyPlan) {
    const Plan plan = Planner::plan({1920, 1080, 0, 60, false}, {}, std::nullopt, Project{}, wide);
    EXPECT_TRUE(plan.segments.empty());
    EXPECT_EQ(plan.outputDuration(), 0);
    EXPECT_EQ(plan.shots, std::vector<Shot>{(Shot{0, fullBase})});
}

// Inputs only a broken file or a careless caller holds still give a plan every renderer can follow.
TEST(PlanAssembly, AbsurdInputsGiveValidPlans) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string name;
        SourceInfo info;
        Project project;
        double aspect;
    };
    std::vector<Case> cases;
    cases.push_back({"infinite duration", {1920, 1080, inf, 60, false}, Project{}, wide});
    cases.push_back({"duration not a number", {1920, 1080, nan, 60, false}, Project{}, wide});
    cases.push_back({"negative duration", {1920, 1080, -4, 60, false}, Project{}, wide});
    cases.push_back({"no picture size", {0, 0, 10, 60, false}, Project{}, wide});
    cases.push_back({"window aspect not a number", tenSeconds, Project{}, nan});
    Project slow;
    slow.speedBlocks = std::vector<SpeedBlock>{SpeedBlock(1, 3, -2, Reason::manual), SpeedBlock(nan, 5, 2, Reason::manual),
                                               SpeedBlock(4, 6, nan, Reason::manual), SpeedBlock(6, inf, 4, Reason::manual)};
    slow.zoomBlocks = std::vector<ZoomBlock>{ZoomBlock(1, 2, nan, 0.5, 2), ZoomBlock(3, 4, 0.5, 0.5, inf),
                                             ZoomBlock(5, nan, 0.5, 0.5, 2), ZoomBlock(0.5, 1, 9, -9, 1e300)};
    slow.cuts = {{-inf, 0.5}, {9.5, inf}};
    cases.push_back({"stored blocks and cuts with negative, infinite and missing numbers", tenSeconds, slow, wide});
    Project cappedNaN;
    cappedNaN.maxSpeed = nan;
    cappedNaN.maxZoom = nan;
    cases.push_back({"caps not a number", tenSeconds, cappedNaN, wide});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectValidPlan(Planner::plan(c.info, {}, std::nullopt, c.project, c.aspect));
    }

    const Plan endless = Planner::plan({1920, 1080, 1e300, 60, false}, {}, std::nullopt, Project{}, wide);
    expectValidPlan(endless);
    EXPECT_EQ(endless.source.duration, Planner::longestSource);
}

// A hand-edited log out of time order is judged for activity as the same log in time order, and an
// hour of it plans as quickly (walking it whole for every quarter second would never end).
TEST(PlanAssembly, LogOutOfTimeOrderIsPlannedInTimeOrder) {
    const test::SyntheticSession session = test::makeSyntheticSession(3600, 5);
    std::vector<CursorSample> cursor(session.log.cursor().rbegin(), session.log.cursor().rend());
    std::vector<Event> events(session.log.events().rbegin(), session.log.events().rend());
    cursor.push_back({std::numeric_limits<double>::quiet_NaN(), 0.5, 0.5});
    const std::optional<InputLog> shuffled = InputLog(std::move(cursor), std::move(events), true);
    const Plan expected = Planner::plan(session.info, session.samples, session.log, Project{}, wide);
    const Plan actual = Planner::plan(session.info, session.samples, shuffled, Project{}, wide);
    EXPECT_EQ(actual.segments, expected.segments);
    EXPECT_GT(expected.segments.size(), 20u);
    // The zoom side takes the last click in the log's order, so its shots may differ.
}

TEST(AutoSpeedBlocks, AreTheFastSegmentsWithFreshIds) {
    std::vector<ActivitySample> samples;
    for (int i = 0; i < 30; ++i) samples.push_back({12 + i / 15.0, 0.2, std::nullopt});
    const std::vector<SpeedBlock> blocks = Planner::autoSpeedBlocks(30, samples, std::nullopt, 40);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].reason, Reason::idle);
    EXPECT_NEAR(blocks[0].start, 0.4, 1e-12);
    EXPECT_NEAR(blocks[0].end, 11.5, 1e-12);
    EXPECT_EQ(blocks[0].speed, 14); // 11.1 / 0.8 = 13.875
    EXPECT_NEAR(blocks[1].start, 14.4, 1e-12);
    EXPECT_NE(blocks[0].id, blocks[1].id);
    EXPECT_TRUE(Planner::autoSpeedBlocks(2, samples, std::nullopt, 40).empty());
}

} // namespace
} // namespace vi
