#include "RecordCore/Scene.h"

#include "SceneFixtures.h"

#include <gtest/gtest.h>

#include <limits>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;
using test::click;
using test::planOf;
using test::pointerLog;
using test::realTimePlan;

TEST(FrameState, ViewOnlyStateHasNoOverlays) {
    const FrameState state(NRect{0.1, 0.2, 0.5, 0.5});
    EXPECT_EQ(state.view, (NRect{0.1, 0.2, 0.5, 0.5}));
    EXPECT_FALSE(state.pill || state.pointer || state.clock || state.caption);
    EXPECT_TRUE(state.ripples.empty());
    EXPECT_EQ(state.pointerScale, 1.6);
    EXPECT_EQ(state.titleOpacity, 0);
    EXPECT_EQ(state.endOpacity, 0);
    EXPECT_EQ(state.cameraScale, 1);
}

TEST(Scene, ClockText) {
    struct Case {
        double seconds;
        const char* text;
    };
    for (const Case& c : {Case{0, "0:00"}, Case{42, "0:42"}, Case{59.5, "1:00"}, Case{59.49, "0:59"}, Case{600, "10:00"},
                          Case{3599.4, "59:59"}, Case{3725, "1:02:05"}, Case{-3, "0:00"},
                          Case{std::numeric_limits<double>::quiet_NaN(), "0:00"}}) {
        EXPECT_EQ(Scene::clock(c.seconds), c.text) << c.seconds;
    }
}

// One segment from 0, asked in its middle.
TEST(Scene, SpeedPill) {
    struct Case {
        double speed;
        Reason reason;
        double length;
        std::optional<int> pill;
        const char* label;
    };
    const Case cases[] = {
        {1, Reason::normal, 10, std::nullopt, ""},
        {4, Reason::manual, 10, 4, "fast-forward"},
        {2.5, Reason::hold, 10, 3, "fast-forward"},
        {1.5, Reason::normal, 10, 2, "fast-forward"},
        {1.4, Reason::normal, 10, 1, "fast-forward"}, // still shown: faster than real time
        {2, Reason::idle, 9.9, 2, "skipping the wait"},
        {2, Reason::idle, 10, 2, "skipping 0:10 of waiting"},
        {8, Reason::agentWorking, 3725, 8, "skipping 1:02:05 of waiting"},
    };
    for (const Case& c : cases) {
        const Scene scene(planOf({{0, c.length, c.speed, c.reason}}), Project(), std::nullopt, 60);
        const FrameState state = scene.state(c.length / c.speed / 2);
        ASSERT_EQ(state.pill.has_value(), c.pill.has_value()) << c.label;
        if (!c.pill) continue;
        EXPECT_EQ(state.pill->speed, *c.pill) << c.speed;
        EXPECT_EQ(state.pill->label, c.label);
        EXPECT_EQ(state.pill->opacity, 1);
    }
    // At the output's end the source time lies in a trimmed end: no pill.
    const Scene trimmed(planOf({{0, 10, 2, Reason::manual}, {10, 20, 1, Reason::cut}}), Project(), std::nullopt, 60);
    EXPECT_FALSE(trimmed.state(5).pill);
    EXPECT_FALSE(Scene(Plan(), Project(), std::nullopt, 60).state(0).pill);
}

TEST(Scene, PillFadesOverTheFirstAndLastOutputInstants) {
    const Scene scene(planOf({{0, 10, 1, Reason::normal}, {10, 20, 10, Reason::idle}, {20, 30, 1, Reason::normal}}),
                      Project(), std::nullopt, 60);
    struct Case {
        double t;
        double opacity;
    };
    for (const Case& c : {Case{10, 0}, Case{10.06, 0.5}, Case{10.12, 1}, Case{10.5, 1}, Case{10.94, 0.5}}) {
        ASSERT_TRUE(scene.state(c.t).pill) << c.t;
        EXPECT_NEAR(scene.state(c.t).pill->opacity, c.opacity, 1e-9) << c.t;
    }
}

TEST(Scene, PointerWithoutLogUsesDefaults) {
    Project project;
    project.cursorSize = 2.4;
    const Scene scene(realTimePlan(5), project, std::nullopt, 60);
    EXPECT_FALSE(scene.drawsPointer());
    const FrameState state = scene.state(1);
    EXPECT_FALSE(state.pointer);
    EXPECT_TRUE(state.ripples.empty());
    EXPECT_EQ(state.pointerScale, 1.6);
}

// The pointer dips after a click even when no click effect is drawn.
TEST(Scene, ClickBounceAndEffects) {
    const InputLog log = pointerLog({{0, 0.5, 0.5}, {5, 0.5, 0.5}}, {click(1, 0.5, 0.5)});
    Project project;
    project.cursorSize = 2;
    project.clickBounce = 0.5;
    const double halfBounce = 1 + 0.275 * PointerTrack::clickLife; // progress 0.275: the deepest dip
    for (const char* effect : {"none", "ripple"}) {
        project.clickEffect = effect;
        const Scene scene(realTimePlan(5), project, log, 60);
        ASSERT_TRUE(scene.drawsPointer());
        const FrameState state = scene.state(halfBounce);
        EXPECT_NEAR(state.pointerScale, 2 * 0.89, 1e-9) << effect;
        EXPECT_EQ(state.ripples.size(), std::string(effect) == "none" ? 0u : 1u) << effect;
        EXPECT_EQ(scene.state(3).pointerScale, 2) << effect;
        ASSERT_TRUE(state.pointer);
        EXPECT_NEAR(state.pointer->x, 0.5, 1e-12);
    }
}

// Positions of the log are re-expressed inside the project's crop.
TEST(Scene, PointerInCropCoordinates) {
    Project project;
    project.crop = NRect{0.5, 0, 0.5, 1};
    project.cursorSmooth = false;
    const Scene scene(realTimePlan(5), project, pointerLog({{0, 0.75, 0.5}, {5, 0.75, 0.5}}), 60);
    ASSERT_TRUE(scene.state(1).pointer);
    EXPECT_NEAR(scene.state(1).pointer->x, 0.5, 1e-12);
}

TEST(Scene, CameraBubbleMakesRoomForZoom) {
    Plan plan = realTimePlan(20);
    const double mid = 1 / 1.275; // halfway between zoom 1.05 and 1.5
    plan.shots = {{0, NRect::full()}, {4, NRect::centered(0.5, 0.5, mid, mid)}, {10, NRect::centered(0.5, 0.5, 0.5, 0.5)}};
    Project project;
    const Scene scene(plan, project, std::nullopt, 60);
    EXPECT_EQ(scene.state(0).cameraScale, 1);
    EXPECT_NEAR(scene.state(9.9).cameraScale, 0.88, 1e-3);
    EXPECT_NEAR(scene.state(19).cameraScale, 0.76, 1e-9);
    project.cameraMakeRoom = false;
    EXPECT_EQ(Scene(plan, project, std::nullopt, 60).state(19).cameraScale, 1);
}

TEST(Scene, CaptionLineWordAndFade) {
    Project project;
    project.showCaptions = true;
    project.captions = std::vector<CaptionWord>{{"one", 1, 1.5}, {"two", 1.6, 2}, {"Next.", 4, 4.5}};
    const Scene scene(realTimePlan(10), project, std::nullopt, 60);
    ASSERT_EQ(scene.captions().size(), 2u); // line 0 from 0.95 to 2.35, line 1 from 3.95 to 4.85
    struct Case {
        double t;
        std::optional<FrameState::Caption> caption;
    };
    const Case cases[] = {
        {0.9, std::nullopt},
        {0.95, FrameState::Caption{0, 0, 0}},
        {0.98, FrameState::Caption{0, 0, 0.25}}, // before the first word: word 0
        {1.6, FrameState::Caption{0, 1, 1}},
        {2.29, FrameState::Caption{0, 1, 0.5}},
        {2.35, std::nullopt}, // exactly the line's end
        {4.2, FrameState::Caption{1, 0, 1}},
        {6, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto caption = scene.state(c.t).caption;
        ASSERT_EQ(caption.has_value(), c.caption.has_value()) << c.t;
        if (!caption) continue;
        EXPECT_EQ(caption->line, c.caption->line) << c.t;
        EXPECT_EQ(caption->word, c.caption->word) << c.t;
        EXPECT_NEAR(caption->opacity, c.caption->opacity, 1e-9) << c.t;
    }
    project.showCaptions = false;
    EXPECT_TRUE(Scene(realTimePlan(10), project, std::nullopt, 60).captions().empty());
}

TEST(Scene, TitleEndAndClock) {
    Project project;
    project.showTitle = true;
    project.title = "Demo";
    project.showEnd = true;
    project.endTitle = "Thanks";
    project.showClock = true;
    project.trimStart = 5; // a source time before it reads 0
    const Scene scene(realTimePlan(20), project, std::nullopt, 60);
    struct Case {
        double t, title, end, clock;
    };
    for (const Case& c : {Case{0, 1, 0, 0}, Case{1.7, 1, 0, 0}, Case{1.95, 0.5, 0, 0}, Case{2.2, 0, 0, 0},
                          Case{7, 0, 0, 2}, Case{17.2, 0, 0, 12.2}, Case{17.4, 0, 0.5, 12.4}, Case{17.6, 0, 1, 12.6},
                          Case{20, 0, 1, 15}}) {
        const FrameState state = scene.state(c.t);
        EXPECT_NEAR(state.titleOpacity, c.title, 1e-9) << c.t;
        EXPECT_NEAR(state.endOpacity, c.end, 1e-9) << c.t;
        ASSERT_TRUE(state.clock);
        EXPECT_NEAR(*state.clock, c.clock, 1e-9) << c.t;
    }
    project.title = "";
    project.endTitle = "";
    project.showClock = false;
    const Scene bare(realTimePlan(20), project, std::nullopt, 60);
    for (double t : {0.0, 1.0, 19.0}) {
        EXPECT_EQ(bare.state(t).titleOpacity, 0);
        EXPECT_EQ(bare.state(t).endOpacity, 0);
        EXPECT_FALSE(bare.state(t).clock);
    }
}

} // namespace
} // namespace vi
