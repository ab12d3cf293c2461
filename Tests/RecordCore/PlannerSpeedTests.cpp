#include "RecordCore/Planner.h"
#include "RecordCore/PlannerSpeed.h"

#include "PlanningExpect.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

namespace vi {
namespace {

using Planner::detail::fill;
using Planner::detail::hold;
using Planner::detail::remove;
using Planner::detail::speedSegments;
using Reason = SpeedSegment::Reason;

// Activity samples at 15 a second over [from, to) with one energy.
void addSamples(std::vector<ActivitySample>& samples, double from, double to, double energy) {
    for (double t = from; t < to; t += 1.0 / 15) samples.push_back({t, energy, std::nullopt});
}

// A log in which nothing happens, with key tracking as given.
InputLog restingLog(std::optional<bool> keysTracked) {
    return InputLog({}, {}, keysTracked, std::nullopt, std::nullopt);
}

struct DetectorCase {
    std::string name;
    double duration;
    std::vector<ActivitySample> samples;
    std::optional<InputLog> log;
    double maxSpeed;
    std::vector<SpeedSegment> expected;
};

std::vector<DetectorCase> detectorCases() {
    std::vector<DetectorCase> cases;
    cases.push_back({"still screen without log: ramps round an idle speed-up, 9.1 / 0.8 rounds to 11", 10, {},
                     std::nullopt, 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 9.5, 11, Reason::idle}, {9.5, 10, 1, Reason::normal}}});
    cases.push_back({"a wait shorter than 3 s stays real time", 2.9, {}, std::nullopt, 40, {{0, 2.9, 1, Reason::normal}}});
    cases.push_back({"a 20 s wait: 19.1 / 0.8 = 23.875 gives x24", 20, {}, std::nullopt, 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 19.5, 24, Reason::idle}, {19.5, 20, 1, Reason::normal}}});
    cases.push_back({"a speed cap of 1 still speeds up at x2", 10, {}, std::nullopt, 1,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 9.5, 2, Reason::idle}, {9.5, 10, 1, Reason::normal}}});
    cases.push_back({"a cap of 7.5 rounds to x8", 10, {}, std::nullopt, 7.5,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 9.5, 8, Reason::idle}, {9.5, 10, 1, Reason::normal}}});
    cases.push_back({"the short floor: 3.6 s of fast part plays at x6, not 4.5", 4.5, {}, std::nullopt, 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 4.0, 6, Reason::idle}, {4.0, 4.5, 1, Reason::normal}}});

    std::vector<ActivitySample> changing;
    addSamples(changing, 0, 20, 0.1);
    cases.push_back({"a changing screen while input rests: agent working, 19.1 / 2.5 = 7.64 gives x8", 20, changing,
                     restingLog(true), 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 19.5, 8, Reason::agentWorking}, {19.5, 20, 1, Reason::normal}}});
    cases.push_back({"key tracking unknown counts as tracked", 20, changing, restingLog(std::nullopt), 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 19.5, 8, Reason::agentWorking}, {19.5, 20, 1, Reason::normal}}});
    cases.push_back({"without key tracking a changing screen may be typing: real time", 20, changing,
                     restingLog(false), 40, {{0, 20, 1, Reason::normal}}});
    cases.push_back({"without a log a changing screen is real time", 20, changing, std::nullopt, 40,
                     {{0, 20, 1, Reason::normal}}});
    std::vector<ActivitySample> agentTail;
    addSamples(agentTail, 10, 12, 0.1);
    cases.push_back({"idle then agent working joins one agent run of 12 s: 11.1 / 2.5 gives x4", 12, agentTail,
                     restingLog(true), 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 11.5, 4, Reason::agentWorking}, {11.5, 12, 1, Reason::normal}}});
    cases.push_back({"an agent run shorter than 4 s stays real time", 3.9, changing, restingLog(true), 40,
                     {{0, 3.9, 1, Reason::normal}}});

    // A key press at 5 s makes the slots from 4.5 to 5.75 busy (0.5 s reach either side); the
    // real-time stretches round it merge into one segment.
    const InputLog typing({}, {{5, InputLog::Event::Kind::key, std::nullopt, std::nullopt}}, true);
    cases.push_back({"input splits a wait in two, real time merged between", 10, {}, typing, 40,
                     {{0, 0.4, 1, Reason::normal},
                      {0.4, 4.0, 6, Reason::idle},
                      {4.0, 6.15, 1, Reason::normal},
                      {6.15, 9.5, 6, Reason::idle},
                      {9.5, 10, 1, Reason::normal}}});

    std::vector<ActivitySample> belowFloor;
    addSamples(belowFloor, 0, 10, 0.0034);
    cases.push_back({"energy just below the floor is still", 10, belowFloor, std::nullopt, 40,
                     {{0, 0.4, 1, Reason::normal}, {0.4, 9.5, 11, Reason::idle}, {9.5, 10, 1, Reason::normal}}});
    std::vector<ActivitySample> atFloor;
    addSamples(atFloor, 0, 10, 0.0035);
    cases.push_back({"energy at the floor is change", 10, atFloor, std::nullopt, 40, {{0, 10, 1, Reason::normal}}});
    return cases;
}

TEST(SpeedDetector, Cases) {
    for (const DetectorCase& c : detectorCases()) {
        SCOPED_TRACE(c.name);
        test::expectSegments(speedSegments(c.duration, c.samples, c.log ? &*c.log : nullptr, c.maxSpeed), c.expected);
    }
}

TEST(SpeedDetector, NothingToPlanWithoutAPositiveFiniteDuration) {
    for (double d : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        EXPECT_TRUE(speedSegments(d, {}, nullptr, 40).empty()) << d;
    }
}

TEST(SpeedDetector, AbsurdDurationIsPlannedUpToTheLongestSource) {
    const std::vector<SpeedSegment> segments = speedSegments(1e300, {}, nullptr, 40);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.back().end, Planner::longestSource);
}

TEST(SpeedBlocksFill, Cases) {
    struct Case {
        std::string name;
        std::vector<SpeedBlock> blocks;
        double duration;
        std::vector<SpeedSegment> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {"no blocks, no duration", {}, 0, {}},
        {"no blocks", {}, 10, {{0, 10, 1, Reason::normal}}},
        {"an overlap goes to the block that starts first",
         {{5, 15, 8, Reason::manual}, {0, 10, 4, Reason::manual}},
         20,
         {{0, 10, 4, Reason::manual}, {10, 15, 8, Reason::manual}, {15, 20, 1, Reason::normal}}},
        {"too slow and negative speeds play at x0.05",
         {{2, 4, 0.01, Reason::manual}, {6, 8, -3, Reason::manual}},
         10,
         {{0, 2, 1, Reason::normal},
          {2, 4, 0.05, Reason::manual},
          {4, 6, 1, Reason::normal},
          {6, 8, 0.05, Reason::manual},
          {8, 10, 1, Reason::normal}}},
        {"blocks beyond the duration are clipped or skipped",
         {{8, 12, 4, Reason::idle}, {11, 13, 4, Reason::idle}},
         10,
         {{0, 8, 1, Reason::normal}, {8, 10, 4, Reason::idle}}},
        {"a block of no length is skipped", {{3, 3.0000005, 4, Reason::manual}}, 10, {{0, 10, 1, Reason::normal}}},
        {"adjacent segments are not merged",
         {{0, 5, 1, Reason::normal}},
         10,
         {{0, 5, 1, Reason::normal}, {5, 10, 1, Reason::normal}}},
        {"times that are not numbers place nothing; infinite ones are clipped",
         {{nan, 4, 4, Reason::manual}, {2, nan, 4, Reason::manual}, {1, 2, nan, Reason::manual},
          {-inf, 3, 4, Reason::manual}, {7, inf, 2, Reason::manual}},
         10,
         {{0, 3, 4, Reason::manual}, {3, 7, 1, Reason::normal}, {7, 10, 2, Reason::manual}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::expectSegments(fill(c.blocks, c.duration), c.expected);
    }
}

TEST(RemovedTime, Cases) {
    struct Case {
        std::string name;
        std::vector<TimeRange> removed;
        std::vector<SpeedSegment> segments;
        std::vector<SpeedSegment> expected;
    };
    const std::vector<SpeedSegment> tenSeconds{{0, 10, 1, Reason::normal}};
    const std::vector<Case> cases = {
        {"nothing removed", {}, tenSeconds, tenSeconds},
        {"a cut inside a segment", {{5, 8}}, tenSeconds,
         {{0, 5, 1, Reason::normal}, {5, 8, 1, Reason::cut}, {8, 10, 1, Reason::normal}}},
        {"overlapping cuts: the second only cuts what the first left",
         {TimeRange::stored(5, 8), TimeRange::stored(6, 9)},
         tenSeconds,
         {{0, 5, 1, Reason::normal}, {5, 8, 1, Reason::cut}, {8, 9, 1, Reason::cut}, {9, 10, 1, Reason::normal}}},
        {"a cut across segments keeps each side's speed; cuts play at x1",
         {{3, 12}},
         {{0, 5, 4, Reason::manual}, {5, 10, 1, Reason::normal}, {10, 20, 8, Reason::idle}},
         {{0, 3, 4, Reason::manual},
          {3, 5, 1, Reason::cut},
          {5, 10, 1, Reason::cut},
          {10, 12, 1, Reason::cut},
          {12, 20, 8, Reason::idle}}},
        {"cuts at both ends and slivers dropped",
         {{0, 2}, {9.9999995, 12}},
         tenSeconds,
         {{0, 2, 1, Reason::cut}, {2, 9.9999995, 1, Reason::normal}}},
        {"a cut segment is never cut again", {{1, 2}}, {{0, 4, 3, Reason::cut}}, {{0, 4, 3, Reason::cut}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::expectSegments(remove(c.removed, c.segments), c.expected);
    }
}

// Sorted ranges that lie apart take a one-pass route; ranges in any other arrangement take the
// general one. A reversed range far beyond the segments cuts nothing but forces the general route,
// so both routes must agree exactly on random plans.
TEST(RemovedTime, SortedRangesGiveTheSamePiecesAsTheGeneralRoute) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> length(0.01, 3);
    const Reason reasons[] = {Reason::normal, Reason::idle, Reason::manual, Reason::cut};
    for (int round = 0; round < 200; ++round) {
        std::vector<SpeedSegment> segments;
        for (double t = 0; t < 60;) {
            const double end = t + length(random);
            segments.push_back({t, end, 1.0 + static_cast<double>(random() % 8), reasons[random() % 4]});
            t = end;
        }
        std::vector<TimeRange> removed;
        for (double t = length(random); t < 70;) {
            const double end = t + length(random);
            removed.push_back({t, end});
            t = random() % 4 == 0 ? end : end + length(random); // sometimes touching
        }
        std::vector<TimeRange> forcedGeneral = removed;
        forcedGeneral.push_back(TimeRange::stored(1000, 999));
        ASSERT_EQ(remove(removed, segments), remove(forcedGeneral, segments)) << "round " << round;
    }
}

TEST(CardHolds, Cases) {
    struct Case {
        std::string name;
        std::vector<SpeedSegment> segments;
        bool atStart;
        double seconds;
        std::vector<SpeedSegment> expected;
    };
    const std::vector<Case> cases = {
        {"title: the first 0.04 s of the first kept segment lasts 2.2 s",
         {{0, 1, 1, Reason::cut}, {1, 10, 4, Reason::manual}},
         true,
         2.2,
         {{0, 1, 1, Reason::cut}, {1, 1.04, 0.04 / 2.2, Reason::hold}, {1.04, 10, 4, Reason::manual}}},
        {"end card: the last 0.04 s of the last kept segment lasts 2.8 s",
         {{0, 10, 1, Reason::normal}, {10, 12, 1, Reason::cut}},
         false,
         2.8,
         {{0, 9.96, 1, Reason::normal}, {9.96, 10, 0.04 / 2.8, Reason::hold}, {10, 12, 1, Reason::cut}}},
        {"a kept segment of 0.08 s or less gets no hold",
         {{0, 0.08, 1, Reason::normal}, {0.08, 5, 6, Reason::idle}},
         true,
         2.2,
         {{0, 0.08, 1, Reason::normal}, {0.08, 5, 6, Reason::idle}}},
        {"only cuts: nothing to hold", {{0, 5, 1, Reason::cut}}, false, 2.8, {{0, 5, 1, Reason::cut}}},
        {"no segments", {}, true, 2.2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::expectSegments(hold(c.segments, c.atStart, c.seconds), c.expected);
    }
}

} // namespace
} // namespace vi
