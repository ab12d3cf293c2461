#include "RecordCore/Plan.h"

#include "PlanningExpect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;

// Real time, a x10 wait, a cut, and real time again: 10 + 1 + 0 + 5 = 16 output seconds.
Plan cutAndSpeedPlan() {
    Plan plan;
    plan.segments = {{0, 10, 1, Reason::normal}, {10, 20, 10, Reason::idle}, {20, 25, 1, Reason::cut},
                     {25, 30, 1, Reason::normal}};
    return plan;
}

TEST(PlanTimeMapping, PlanWithoutSegmentsMapsEverythingToZero) {
    const Plan plan;
    EXPECT_EQ(plan.outputDuration(), 0);
    for (double t : {-1.0, 0.0, 5.0, 1e9}) {
        EXPECT_EQ(plan.sourceTime(t), 0) << t;
        EXPECT_EQ(plan.outputTime(t), 0) << t;
        EXPECT_FALSE(plan.segment(t).has_value()) << t;
    }
}

TEST(PlanTimeMapping, SourceTimeAcrossSpeedUpAndCut) {
    const Plan plan = cutAndSpeedPlan();
    EXPECT_DOUBLE_EQ(plan.outputDuration(), 16);
    struct Case {
        double output;
        double source;
    };
    for (const Case& c : {Case{-1, -1}, Case{0, 0}, Case{5, 5}, Case{10, 10}, Case{10.5, 15},
                          Case{11, 25}, // the boundary skips the cut
                          Case{13, 27}, Case{16, 30}, Case{99, 30}}) {
        EXPECT_DOUBLE_EQ(plan.sourceTime(c.output), c.source) << "output " << c.output;
    }
}

TEST(PlanTimeMapping, OutputTimeAcrossSpeedUpAndCut) {
    const Plan plan = cutAndSpeedPlan();
    struct Case {
        double source;
        double output;
    };
    for (const Case& c : {Case{-3, 0}, Case{0, 0}, Case{10, 10}, Case{15, 10.5}, Case{20, 11},
                          Case{22, 11}, // inside the cut: where the kept material before it ends
                          Case{25, 11}, Case{27.5, 13.5}, Case{30, 16}, Case{40, 16}}) {
        EXPECT_DOUBLE_EQ(plan.outputTime(c.source), c.output) << "source " << c.source;
    }
}

TEST(PlanTimeMapping, SegmentLookupSkipsCuts) {
    const Plan plan = cutAndSpeedPlan();
    const SpeedSegment last = plan.segments.back();
    EXPECT_EQ(plan.segment(0), plan.segments[0]);
    EXPECT_EQ(plan.segment(10), plan.segments[1]);
    EXPECT_EQ(plan.segment(22), last); // inside the cut
    EXPECT_EQ(plan.segment(30), last); // at the end
    EXPECT_EQ(plan.segment(-1), last); // before the start
}

TEST(PlanTimeMapping, HoldStretchesASliverOverItsOutputLength) {
    Plan plan;
    plan.segments = {{0, 0.04, 0.04 / 2.2, Reason::hold}, {0.04, 5, 1, Reason::normal}};
    EXPECT_NEAR(plan.segments[0].outputLength(), 2.2, 1e-12);
    EXPECT_NEAR(plan.outputDuration(), 2.2 + 4.96, 1e-12);
    double previous = -1;
    for (double output = 0; output < 2.2; output += 0.1) {
        const double source = plan.sourceTime(output);
        EXPECT_GE(source, 0);
        EXPECT_LE(source, 0.04);
        EXPECT_GT(source, previous); // still moving, only slowly
        previous = source;
    }
    EXPECT_NEAR(plan.sourceTime(2.2 + 1), 1.04, 1e-9);
}

// Source -> output -> source is the identity outside cuts; a time inside a cut comes back as the
// first kept time after the cut.
TEST(PlanTimeMapping, RoundTripsThroughCutsHoldsAndSpeedUps) {
    Plan plan;
    plan.segments = {{0, 0.04, 0.04 / 2.2, Reason::hold}, {0.04, 3, 1, Reason::normal},
                     {3, 9, 8, Reason::agentWorking},     {9, 12, 1, Reason::normal},
                     {12, 14, 1, Reason::cut},            {14, 18, 4, Reason::manual},
                     {18, 19, 1, Reason::cut},            {19, 19.96, 1, Reason::normal},
                     {19.96, 20, 0.04 / 2.8, Reason::hold}};
    for (double source = 0; source < 20; source += 0.01) {
        const double back = plan.sourceTime(plan.outputTime(source));
        if (source >= 12 && source < 14) {
            EXPECT_NEAR(back, 14, 1e-9) << source;
        } else if (source >= 18 && source < 19) {
            EXPECT_NEAR(back, 19, 1e-9) << source;
        } else {
            EXPECT_NEAR(back, source, 1e-9) << source;
        }
    }
}

TEST(PlanView, CentredBaseViewWithoutShots) {
    Plan plan;
    plan.baseW = 0.31640625;
    plan.baseH = 1;
    const NRect base{0.5 - 0.31640625 * 0.5, 0, 0.31640625, 1};
    for (double t : {-1.0, 0.0, 100.0}) EXPECT_EQ(plan.view(t), base);
}

TEST(PlanView, ShotInForceIsTheLastStartedOne) {
    Plan plan;
    const NRect first{0, 0, 1, 1};
    const NRect second{0.2, 0.2, 0.5, 0.5};
    const NRect third{0.4, 0.4, 0.5, 0.5};
    plan.shots = {{1, first}, {5, second}, {8, third}};
    EXPECT_EQ(plan.view(0), first); // before the first shot
    EXPECT_EQ(plan.view(4.999), first);
    EXPECT_EQ(plan.view(5), second);
    EXPECT_EQ(plan.view(7.5), second);
    EXPECT_EQ(plan.view(8), third);
    EXPECT_EQ(plan.view(1e9), third);
}

// The forward cursor must agree bit for bit with the plain walk, also when asked out of order.
TEST(SourceTimeCursor, AgreesExactlyWithThePlainWalk) {
    Plan plan;
    double t = 0;
    for (int i = 0; i < 400; ++i) {
        const Reason reason = i % 7 == 3 ? Reason::cut : i % 3 == 0 ? Reason::idle : Reason::normal;
        const double length = 0.1 + (i % 11) * 0.37;
        plan.segments.push_back({t, t + length, reason == Reason::idle ? 1.0 + i % 13 : 1.0, reason});
        t += length;
    }
    SourceTimeCursor cursor(plan);
    const double end = plan.outputDuration() + 1;
    for (int frame = -5; frame / 60.0 < end; ++frame) {
        const double output = frame / 60.0;
        ASSERT_EQ(cursor.sourceTime(output), plan.sourceTime(output)) << output;
    }
    for (double output : {3.0, std::numeric_limits<double>::quiet_NaN(), 100.0, 2.0, 50.0}) {
        const double expected = plan.sourceTime(output);
        const double actual = cursor.sourceTime(output);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(actual));
        } else {
            EXPECT_EQ(actual, expected) << output;
        }
    }
}

} // namespace
} // namespace vi
