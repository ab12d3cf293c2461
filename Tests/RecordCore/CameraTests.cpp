#include "RecordCore/Camera.h"
#include "RecordCore/CameraPath.h"

#include "PlanningExpect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;

constexpr double focused = CameraPath::focusedStiffness;

// A camera at rest centred at (x, 0.5), unzoomed over a full base.
Camera restingAt(double x, double stiffness = focused) {
    return Camera(NRect{x - 0.5, 0, 1, 1}, 1, 1, stiffness);
}

TEST(CameraSpring, OneStepFromRest) {
    Camera camera = restingAt(0.7);
    camera.step(NRect{0, 0, 1, 1}, 1.0 / 60);
    EXPECT_NEAR(camera.x, 0.69944, 1e-5);
    EXPECT_NEAR(camera.vx, -0.06533, 1e-5);
    EXPECT_EQ(camera.y, 0.5);
    EXPECT_EQ(camera.vy, 0);
}

TEST(CameraSpring, CurrentViewStaysInsideTheSource) {
    Camera camera = restingAt(0.5);
    camera.x = 0.6;
    camera.z = std::log(1.2);
    const NRect view = camera.current();
    EXPECT_NEAR(view.w, 0.8333, 1e-4);
    EXPECT_NEAR(view.x, 1 - 0.8333, 1e-4); // 0.6 - 0.4167 lowered to 1 - width
    EXPECT_NEAR(view.y, 0.5 - 0.4167, 1e-4);
    EXPECT_NEAR(view.h, 0.8333, 1e-4);
}

TEST(CameraSpring, ZoomFollowsTheTargetWidthAndKeepsTheBaseAspect) {
    Camera camera(NRect{0.34, 0, 0.32, 1}, 0.32, 1, focused);
    const NRect target{0.1, 0.2, 0.16, 0.3}; // x2 of the base width; its own height is ignored
    for (int i = 0; i < 600; ++i) camera.step(target, 1.0 / 60);
    const NRect view = camera.current();
    test::expectRectNear(view, {0.1, 0.1, 0.16, 0.5}, 1e-6);
}

// The step is the exact solution over the interval: the frame rate does not change the motion.
TEST(CameraSpring, SameMotionAtAnyFrameRate) {
    const NRect target{0.3 - 0.25, 0.2 - 0.25, 0.5, 0.5};
    Camera at60 = restingAt(0.8);
    Camera at24 = restingAt(0.8);
    Camera once = restingAt(0.8);
    for (int i = 0; i < 120; ++i) at60.step(target, 1.0 / 60);
    for (int i = 0; i < 48; ++i) at24.step(target, 1.0 / 24);
    once.step(target, 2.0);
    for (const Camera* c : {&at24, &once}) {
        EXPECT_NEAR(c->x, at60.x, 1e-12);
        EXPECT_NEAR(c->y, at60.y, 1e-12);
        EXPECT_NEAR(c->z, at60.z, 1e-12);
        EXPECT_NEAR(c->vx, at60.vx, 1e-12);
    }
}

// From rest the spring never overshoots, and it comes within 5 % of a jump after about 1.0 s at
// the focused rate and 1.8 s at the smooth one.
TEST(CameraSpring, SettlesWithoutOvershoot) {
    for (const auto& [stiffness, settle] : {std::pair{CameraPath::focusedStiffness, 1.0}, std::pair{CameraPath::smoothStiffness, 1.8}}) {
        Camera camera = restingAt(0.9, stiffness);
        const NRect goal{0, 0, 1, 1}; // centre 0.5: a jump of 0.4
        double within = -1;
        for (int i = 1; i <= 300; ++i) {
            camera.step(goal, 1.0 / 60);
            ASSERT_GE(camera.x, 0.5) << "overshoot at frame " << i;
            if (within < 0 && camera.x - 0.5 < 0.05 * 0.4) within = i / 60.0;
        }
        EXPECT_NEAR(within, settle, 0.1) << stiffness;
    }
}

// A plan with a title hold, a speed-up, a cut, a zoom and a return to the base view.
Plan editedPlan() {
    Plan plan;
    plan.source = {1920, 1080, 30, 60, false};
    plan.segments = {{0, 0.04, 0.04 / 2.2, Reason::hold}, {0.04, 5, 1, Reason::normal}, {5, 15, 10, Reason::idle},
                     {15, 18, 1, Reason::cut},            {18, 30, 1, Reason::normal}};
    plan.shots = {{0, {0, 0, 1, 1}}, {3, {0.1, 0.2, 0.5, 0.5}}, {16, {0.4, 0.3, 0.4, 0.4}}, {25, {0, 0, 1, 1}}};
    return plan;
}

// Stepping the spring frame by frame with the plan's own lookups is the reference the path's
// cursors must match bit for bit.
TEST(CameraPathBuild, MatchesStepByStepLookupsExactly) {
    const Plan plan = editedPlan();
    for (double fps : {60.0, 30.0}) {
        const CameraPath path(plan, fps, focused);
        const auto n = static_cast<std::size_t>(std::ceil(plan.outputDuration() * fps)) + 1;
        ASSERT_EQ(path.views.size(), n);
        Camera camera(plan.view(0), plan.baseW, plan.baseH, focused);
        for (std::size_t i = 0; i < n; ++i) {
            const NRect expected = camera.step(plan.view(plan.sourceTime(static_cast<double>(i) / fps)), 1 / fps);
            ASSERT_EQ(path.views[i], expected) << "frame " << i << " at " << fps;
        }
    }
}

TEST(CameraPathBuild, EmptyPlanHasOneView) {
    Plan plan;
    const CameraPath path(plan, 60, focused);
    ASSERT_EQ(path.views.size(), 1u);
    for (double t : {-1.0, 0.0, 3.0}) EXPECT_EQ(path.view(t), path.views[0]);
}

TEST(CameraPathBuild, WithoutShotsEveryViewIsTheBaseView) {
    Plan plan;
    plan.segments = {{0, 4, 1, Reason::normal}};
    plan.baseW = 0.31640625;
    const CameraPath path(plan, 60, focused);
    EXPECT_EQ(path.views.size(), 241u);
    for (const NRect& view : path.views) test::expectRectNear(view, plan.baseView(), 1e-12);
}

TEST(CameraPathBuild, FrameCountCoversTheOutputAndStaysBounded) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double duration;
        double fps;
        std::size_t frames;
    };
    for (const Case& c : {Case{0, 60, 1}, Case{10, 60, 601}, Case{10.001, 60, 602}, Case{10, 30, 301}, Case{-5, 60, 1},
                          Case{nan, 60, 1}, Case{inf, 60, CameraPath::maxFrames}, Case{1e300, 60, CameraPath::maxFrames}}) {
        EXPECT_EQ(CameraPath::frameCount(c.duration, c.fps), c.frames) << c.duration << " s at " << c.fps;
    }
}

TEST(CameraPathBuild, FrameRateThatIsNotUsableFallsBackTo60) {
    Plan plan;
    plan.segments = {{0, 1, 1, Reason::normal}};
    for (double fps : {0.0, -30.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const CameraPath path(plan, fps, focused);
        EXPECT_EQ(path.fps, 60);
        EXPECT_EQ(path.views.size(), 61u);
    }
}

TEST(CameraPathView, BlendsBetweenFramesAndHoldsAtTheEnds) {
    const CameraPath path(editedPlan(), 60, focused);
    const NRect& first = path.views.front();
    const NRect& last = path.views.back();
    const double inf = std::numeric_limits<double>::infinity();
    for (double t : {-1.0, -inf, std::numeric_limits<double>::quiet_NaN()}) EXPECT_EQ(path.view(t), first) << t;
    for (double t : {1e6, inf}) EXPECT_EQ(path.view(t), last) << t;

    const std::size_t i = 200; // during the first zoom's approach
    const NRect a = path.views[i];
    const NRect b = path.views[i + 1];
    test::expectRectNear(path.view((i + 0.5) / 60), {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.w + b.w) / 2, (a.h + b.h) / 2},
                         1e-12);
    test::expectRectNear(path.view(i / 60.0), a, 1e-12);
}

} // namespace
} // namespace vi
