#include "RecordCore/Project.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <ostream>

namespace vi {

void PrintTo(const TimeRange& r, std::ostream* os) { *os << "[" << r.start << ", " << r.end << ")"; }

namespace {

using Ranges = std::vector<TimeRange>;

Project withEdits(double trimStart, std::optional<double> trimEnd, Ranges cuts, std::vector<double> splits = {}) {
    Project p;
    p.trimStart = trimStart;
    p.trimEnd = trimEnd;
    p.cuts = std::move(cuts);
    p.splits = std::move(splits);
    return p;
}

TEST(ProjectEditRanges, RemovedKeptAndPiecesFromTrimsAndCuts) {
    struct Case {
        const char* name;
        Project project;
        double duration;
        Ranges removed, kept;
    };
    const Case cases[] = {
        {"untouched", withEdits(0, std::nullopt, {}), 10, {}, {{0, 10}}},
        {"negative trim start", withEdits(-1, std::nullopt, {}), 10, {}, {{0, 10}}},
        {"trim end at duration", withEdits(0, 10, {}), 10, {}, {{0, 10}}},
        {"trim end past duration", withEdits(0, 12, {}), 10, {}, {{0, 10}}},
        {"trims and a cut", withEdits(1, 9, {{4, 5}}), 10, {{0, 1}, {4, 5}, {9, 10}}, {{1, 4}, {5, 9}}},
        {"touching cuts merge", withEdits(0, std::nullopt, {{4, 6}, {2, 4}}), 10, {{2, 6}}, {{0, 2}, {6, 10}}},
        {"nested cuts merge", withEdits(0, std::nullopt, {{2, 5}, {3, 4}}), 10, {{2, 5}}, {{0, 2}, {5, 10}}},
        {"tiny and reversed cuts drop",
         withEdits(0, std::nullopt, {TimeRange(1, 1.0000005), TimeRange::stored(5, 2)}), 10, {}, {{0, 10}}},
        {"cut over the trim end", withEdits(0, 9, {{8.995, 9.5}}), 10, {{8.995, 10}}, {{0, 8.995}}},
        {"sliver before a cut is not kept", withEdits(2.995, std::nullopt, {{3, 5}}), 10, {{0, 2.995}, {3, 5}}, {{5, 10}}},
        {"crossed trims", withEdits(5, 3, {}), 10, {{0, 10}}, {}},
        {"cut past the source stays unclipped", withEdits(0, std::nullopt, {{8, 12}}), 10, {{8, 12}}, {{0, 8}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.project.removed(c.duration), c.removed);
        EXPECT_EQ(c.project.kept(c.duration), c.kept);
        if (c.project.splits.empty()) {
            EXPECT_EQ(c.project.pieces(c.duration), c.kept);
        }
    }
}

TEST(ProjectEditRanges, KeptRangeMustBeLongerThanOneHundredth) {
    EXPECT_EQ(withEdits(0, std::nullopt, {{0.01, 10}}).kept(10), Ranges{});
    EXPECT_EQ(withEdits(0, std::nullopt, {{0.011, 10}}).kept(10), (Ranges{{0, 0.011}}));
}

TEST(ProjectEditRanges, MergedCutsIgnoreTrims) {
    const Project p = withEdits(1, 9, {{6, 7}, {4, 5}, {4.5, 6}});
    EXPECT_EQ(p.mergedCuts(), (Ranges{{4, 7}}));
}

TEST(ProjectEditRanges, SplitsDivideKeptRangesInsideTheMargin) {
    const Project p = withEdits(0, std::nullopt, {}, {7, 2, 7.0001});
    EXPECT_EQ(p.pieces(10), (Ranges{{0, 2}, {2, 7}, {7, 7.0001}, {7.0001, 10}}));

    EXPECT_EQ(withEdits(0, std::nullopt, {}, {0.01, 9.99}).pieces(10), (Ranges{{0, 10}}));
    EXPECT_EQ(withEdits(0, std::nullopt, {}, {0.03}).pieces(10), (Ranges{{0, 0.03}, {0.03, 10}}));
    // A repeated split gives a piece of length zero.
    EXPECT_EQ(withEdits(0, std::nullopt, {}, {5, 5}).pieces(10), (Ranges{{0, 5}, {5, 5}, {5, 10}}));
    // A split inside a removed range divides nothing.
    EXPECT_EQ(withEdits(0, std::nullopt, {{4, 6}}, {5}).pieces(10), (Ranges{{0, 4}, {6, 10}}));
}

TEST(ProjectEditRanges, NotANumberNeverBreaksTheRanges) {
    const double nan = std::nan("");
    Project p = withEdits(nan, nan, {TimeRange::stored(nan, 3), TimeRange::stored(2, nan), {4, 5}}, {nan, 7, nan});
    EXPECT_EQ(p.removed(10), (Ranges{{4, 5}}));
    EXPECT_EQ(p.kept(10), (Ranges{{0, 4}, {5, 10}}));
    EXPECT_EQ(p.pieces(10), (Ranges{{0, 4}, {5, 7}, {7, 10}}));
}

Project withCrop(NRect crop) {
    Project p;
    p.crop = crop;
    return p;
}

TEST(ProjectCrop, ReexpressesSourceSamplesAndLogInsideTheCrop) {
    const Project p = withCrop({0.25, 0.25, 0.5, 0.5});
    const SourceInfo info{1920, 1080, 12.5, 60, true};
    const std::vector<ActivitySample> samples{
        {0, 0.4, std::nullopt},
        {1, 0.5, NRect(0, 0, 0.375, 0.375)},
        {2, 0.6, NRect(0, 0, 0.25, 0.25)}, // touches the crop only at a corner
        {3, 0.7, NRect(0.9, 0.9, 0.1, 0.1)},
    };
    const InputLog log({{0.5, 0.125, 0.125}, {0.6, 0.5, 0.5}},
                       {{1, InputLog::Event::Kind::click, 0.75, 0.25}, {2, InputLog::Event::Kind::key, std::nullopt, std::nullopt}},
                       true, false, 0.25);

    const auto out = p.cropped(info, samples, log);
    EXPECT_EQ(out.info, (SourceInfo{960, 540, 12.5, 60, true}));
    ASSERT_EQ(out.samples.size(), 4u);
    EXPECT_EQ(out.samples[0], samples[0]);
    EXPECT_EQ(out.samples[1], (ActivitySample{1, 0.5, NRect(0, 0, 0.25, 0.25)}));
    EXPECT_EQ(out.samples[2], (ActivitySample{2, 0, std::nullopt}));
    EXPECT_EQ(out.samples[3], (ActivitySample{3, 0, std::nullopt}));
    ASSERT_TRUE(out.log);
    EXPECT_EQ(out.log->cursor()[0], (CursorSample{0.5, -0.25, -0.25}));
    EXPECT_EQ(out.log->cursor()[1], (CursorSample{0.6, 0.5, 0.5}));
    EXPECT_EQ(out.log->events()[0], (Event{1, Event::Kind::click, 1.0, 0.0}));
    EXPECT_EQ(out.log->events()[1], log.events()[1]);
    EXPECT_EQ(out.log->keysTracked, true);
    EXPECT_EQ(out.log->cursorInVideo, false);
    EXPECT_EQ(out.log->cameraOffset, 0.25);
    EXPECT_FALSE(p.cropped(info, samples, std::nullopt).log);
}

TEST(ProjectCrop, WhichCropsApplyAndTheCroppedSize) {
    const SourceInfo wide{1920, 1080, 10, 30, false};
    struct Case {
        const char* name;
        std::optional<NRect> crop;
        SourceInfo source;
        int width, height; // the cropped size, or the source's when the crop does not apply
    };
    const double huge = std::numeric_limits<double>::max();
    const Case cases[] = {
        {"no crop", std::nullopt, wide, 1920, 1080},
        {"side of 0.01 is too small", NRect(0, 0, 0.01, 0.5), wide, 1920, 1080},
        {"side just above 0.01 applies", NRect(0, 0, 0.011, 0.5), wide, 21, 540},
        {"never below two pixels", NRect(0, 0, 0.015, 0.5), SourceInfo{100, 100, 1, 30, false}, 2, 50},
        {"pixel size past int is ignored", NRect(0, 0, 2e6, 1), wide, 1920, 1080},
        {"overflowing product is ignored", NRect(0, 0, huge, huge), wide, 1920, 1080},
        {"infinite side is ignored", NRect(0, 0, std::numeric_limits<double>::infinity(), 1), wide, 1920, 1080},
        {"NaN corner is ignored", NRect(std::nan(""), 0, 0.5, 0.5), wide, 1920, 1080},
        {"NaN side is ignored", NRect(0, 0, std::nan(""), 0.5), wide, 1920, 1080},
    };
    const std::vector<ActivitySample> samples{{0, 0.5, NRect(0.5, 0.5, 0.1, 0.1)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p;
        p.crop = c.crop;
        const auto out = p.cropped(c.source, samples, std::nullopt);
        EXPECT_EQ(out.info.width, c.width);
        EXPECT_EQ(out.info.height, c.height);
        if (out.info == c.source) {
            EXPECT_EQ(out.samples, samples);
        }
    }
}

TEST(ProjectCrop, SourceAspectFollowsAnyPositiveCrop) {
    const SourceInfo info{1920, 1080, 10, 30, false};
    EXPECT_DOUBLE_EQ(Project().sourceAspect(info), 1920.0 / 1080.0);
    EXPECT_DOUBLE_EQ(withCrop({0, 0, 0.5, 1}).sourceAspect(info), 1920.0 / 1080.0 * 0.5);
    // Smaller than the crop's own threshold, still counted here.
    EXPECT_DOUBLE_EQ(withCrop({0, 0, 0.005, 0.01}).sourceAspect(info), 1920.0 / 1080.0 * 0.5);
    EXPECT_DOUBLE_EQ(withCrop({0, 0, 0, 1}).sourceAspect(info), 1920.0 / 1080.0);
}

} // namespace
} // namespace vi
