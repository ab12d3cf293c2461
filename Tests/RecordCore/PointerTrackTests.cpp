#include "RecordCore/PointerTrack.h"

#include "SceneFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;
using test::click;
using test::pointerLog;
using test::planOf;
using test::realTimePlan;

Project smoothing(bool smooth, bool hideIdle = false) {
    Project project;
    project.cursorSmooth = smooth;
    project.hideIdleCursor = hideIdle;
    return project;
}

TEST(PointerTrack, DrawnOnlyWhenTheLogSaysTheVideoLacksThePointer) {
    const std::vector<CursorSample> two{{0, 0.1, 0.1}, {1, 0.2, 0.2}};
    const Plan plan = realTimePlan(2);
    const Project project;
    struct Case {
        const char* name;
        InputLog log;
        bool drawn;
    };
    const Case cases[] = {
        {"pointer in the video", InputLog(two, {}, true, true, std::nullopt), false},
        {"unknown", InputLog(two, {}, true, std::nullopt, std::nullopt), false},
        {"one sample", pointerLog({{0, 0.1, 0.1}}), false},
        {"no samples", pointerLog({}), false},
        {"two samples", pointerLog(two), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointerTrack::make(c.log, plan, project, 60).has_value(), c.drawn) << c.name;
    }
}

// Without smoothing every point is the sample position interpolated at its frame's source time;
// a x4 stretch makes the frames step four times as far through the samples.
TEST(PointerTrack, UnsmoothedPointsFollowTheSamplesOnSourceTime) {
    const Plan plan = planOf({{0, 1, 1, Reason::normal}, {1, 9, 4, Reason::idle}, {9, 10, 1, Reason::normal}});
    const auto track = PointerTrack::make(pointerLog({{0, 0, 0}, {10, 1, 0.5}}), plan, smoothing(false), 30);
    ASSERT_TRUE(track);
    ASSERT_EQ(track->points.size(), std::size_t(std::ceil(4.0 * 30)) + 1);
    for (std::size_t i = 0; i < track->points.size(); ++i) {
        const double source = plan.sourceTime(double(i) / 30);
        EXPECT_NEAR(track->points[i].x, std::min(source / 10, 1.0), 1e-12) << i;
        EXPECT_NEAR(track->points[i].y, std::min(source / 20, 0.5), 1e-12) << i;
    }
}

// The spring starts on the first target and follows a jump without overshoot: about 31 % of the
// jump remains after 0.1 s and 5 % after 0.2 s.
TEST(PointerTrack, SmoothedPointerFollowsAJumpWithoutOvershoot) {
    // The target jumps at the frame of 1 s.
    const auto track = PointerTrack::make(pointerLog({{0, 0.2, 0.3}, {0.99, 0.2, 0.3}, {1, 0.8, 0.3}, {3, 0.8, 0.3}}),
                                          realTimePlan(3), smoothing(true), 60);
    ASSERT_TRUE(track);
    EXPECT_EQ(track->points[0].x, 0.2);
    EXPECT_EQ(track->points[0].y, 0.3);
    // Frame 60 is the first to pull toward the new target, so n steps have run at frame 59 + n.
    auto remaining = [&](double afterJump) {
        return (0.8 - track->points[std::size_t(std::lround(afterJump * 60)) + 59].x) / 0.6;
    };
    EXPECT_NEAR(remaining(0.1), 0.31, 0.02);
    EXPECT_NEAR(remaining(0.2), 0.05, 0.01);
    for (const PointerTrack::Point& p : track->points) EXPECT_LE(p.x, 0.8 + 1e-12);
}

// A resting pointer fades once it has not moved for 2 s of source time; a move brings it back.
// A change of exactly the threshold does not count as movement.
TEST(PointerTrack, IdlePointerFadesAndReturnsOnMovement) {
    const double jitter = PointerTrack::moveThreshold; // |dx| + |dy| exactly at the threshold
    const auto log = pointerLog({{0, 0, 0.5}, {1, jitter, 0.5}, {5, 0, 0.5}, {5.02, 0.1, 0.5}, {8, 0.1, 0.5}});
    const auto track = PointerTrack::make(log, realTimePlan(8), smoothing(false, true), 60);
    ASSERT_TRUE(track);
    auto opacityAt = [&](double t) { return track->state(t).opacity; };
    EXPECT_NEAR(opacityAt(1.9), 1, 1e-12);
    EXPECT_LT(opacityAt(3), 0.01); // the jiggle at 1 s did not restart the 2 s
    EXPECT_GT(opacityAt(5.6), 0.99);
    EXPECT_NEAR(opacityAt(6.9), 1, 1e-6);

    const auto shown = PointerTrack::make(log, realTimePlan(8), smoothing(false, false), 60);
    EXPECT_EQ(shown->state(4).opacity, 1);
}

// Over a x10 wait the 2 s of rest are counted in source time, so the fade starts after 0.2 s of
// output.
TEST(PointerTrack, IdleTimeIsCountedInSourceSeconds) {
    const Plan plan = planOf({{0, 100, 10, Reason::idle}});
    const auto track = PointerTrack::make(pointerLog({{0, 0.5, 0.5}, {100, 0.5, 0.5}}), plan, smoothing(false, true), 60);
    ASSERT_TRUE(track);
    EXPECT_EQ(track->state(0.2).opacity, 1);
    EXPECT_LT(track->state(0.8).opacity, 0.01);
}

TEST(PointerTrack, ClicksOnOutputTimeWithoutRemovedFootage) {
    // Real time to 10 s, a x4 stretch to 30 s, a cut to 40 s, real time to 50 s, trimmed end.
    const Plan plan = planOf({{0, 10, 1, Reason::normal}, {10, 30, 4, Reason::manual}, {30, 40, 1, Reason::cut},
                              {40, 50, 1, Reason::normal}, {50, 60, 1, Reason::cut}});
    const std::vector<Event> events{
        click(2, 0.1, 0.2),
        click(18, 0.3, 0.4, Event::Kind::rightClick), // in the stretch: 10 + 8 / 4
        {3, Event::Kind::key, std::nullopt, std::nullopt},
        {4, Event::Kind::scroll, 0.5, 0.5},
        {5, Event::Kind::click, std::nullopt, std::nullopt}, // no position
        click(35, 0.5, 0.6),                             // inside the cut
        click(45, 0.7, 0.8),
        click(55, 0.9, 0.9),                             // inside the trimmed end
    };
    const auto track = PointerTrack::make(pointerLog({{0, 0, 0}, {60, 1, 1}}, events), plan, Project(), 60);
    ASSERT_TRUE(track);
    const std::vector<PointerTrack::Click> expected{{2, 0.1, 0.2}, {12, 0.3, 0.4}, {20, 0.7, 0.8}};
    EXPECT_EQ(track->clicks, expected);
}

TEST(PointerTrack, RipplesLiveForTheEffectsLife) {
    const auto track = PointerTrack::make(pointerLog({{0, 0, 0}, {3, 1, 1}}, {click(1, 0.25, 0.75), click(1.2, 0.5, 0.5)}),
                                          realTimePlan(3), Project(), 60);
    ASSERT_TRUE(track);
    EXPECT_TRUE(track->ripples(0.999).empty());
    const std::vector<FrameState::Ripple> atClick{{0.25, 0.75, 0}};
    EXPECT_EQ(track->ripples(1), atClick);
    const auto both = track->ripples(1.3);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NEAR(both[0].progress, 0.3 / 0.45, 1e-12);
    EXPECT_NEAR(both[1].progress, 0.1 / 0.45, 1e-12);
    ASSERT_EQ(track->ripples(1.46).size(), 1u); // the first has ended
    EXPECT_TRUE(track->ripples(1.66).empty());
}

TEST(PointerTrack, FrameLookupRoundsAndClamps) {
    const auto empty = PointerTrack::make(pointerLog({{0, 0.3, 0.3}, {1, 0.6, 0.6}}), Plan(), smoothing(false), 60);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->points.size(), 1u); // an output of no length still has its one frame

    const auto track = PointerTrack::make(pointerLog({{0, 0, 0}, {1, 1, 0}}), realTimePlan(1), smoothing(false), 10);
    ASSERT_TRUE(track);
    ASSERT_EQ(track->points.size(), 11u);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double t;
        double x;
    };
    for (const Case& c : {Case{0.24, 0.2}, Case{0.25, 0.3}, Case{-5, 0}, Case{99, 1}, Case{nan, 0}, Case{inf, 1},
                          Case{-inf, 0}}) {
        EXPECT_NEAR(track->state(c.t).x, c.x, 1e-12) << c.t;
    }
}

} // namespace
} // namespace vi
