#include "RecordCore/CaptionLayout.h"
#include "RecordCore/CaptionLook.h"

#include "SceneFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vi {
namespace {

using Reason = SpeedSegment::Reason;
using test::planOf;
using test::realTimePlan;

Project speaking(std::vector<CaptionWord> words) {
    Project project;
    project.captions = std::move(words);
    project.showCaptions = true;
    return project;
}

// Words of 0.2 s one after another without pauses, from `start`.
std::vector<CaptionWord> fluent(const std::vector<std::string>& texts, double start = 1) {
    std::vector<CaptionWord> words;
    for (const std::string& text : texts) {
        words.push_back({text, start, start + 0.2});
        start += 0.2;
    }
    return words;
}

std::vector<std::vector<std::string>> texts(const std::vector<CaptionLayout::Line>& lines) {
    std::vector<std::vector<std::string>> out;
    for (const auto& line : lines) {
        auto& words = out.emplace_back();
        for (const auto& word : line.words) words.push_back(word.text);
    }
    return out;
}

using Texts = std::vector<std::vector<std::string>>;

TEST(CaptionLayout, NothingToLayOut) {
    EXPECT_TRUE(CaptionLayout::lines(Project(), realTimePlan(10)).empty());
    EXPECT_TRUE(CaptionLayout::lines(speaking({}), realTimePlan(10)).empty());
    EXPECT_TRUE(CaptionLayout::lines(speaking(fluent({"hello"})), Plan()).empty());
}

// Lines break at six words, before a word that would reach 35 characters, after a sentence end,
// and at a pause longer than 0.7 s; a comma or a pause of exactly 0.7 s does not break.
TEST(CaptionLayout, LineBreaks) {
    struct Case {
        const char* name;
        std::vector<CaptionWord> words;
        Texts lines;
    };
    const std::string ten = "abcdefghij";
    const std::string tenAccented = "\u00e9\u00e9\u00e9\u00e9\u00e9e\u0301e\u0301e\u0301e\u0301e\u0301"; // 10 characters, 25 bytes
    const Case cases[] = {
        {"seven words", fluent({"a", "b", "c", "d", "e", "f", "g"}), {{"a", "b", "c", "d", "e", "f"}, {"g"}}},
        {"five words of five letters fit", fluent({"aaaaa", "bbbbb", "ccccc", "ddddd", "eeeee"}),
         {{"aaaaa", "bbbbb", "ccccc", "ddddd", "eeeee"}}},
        {"the 35th character", fluent({ten, ten, ten, "ab"}), {{ten, ten, ten}, {"ab"}}},
        {"34 characters fit", fluent({ten, ten, ten, "a"}), {{ten, ten, ten, "a"}}},
        {"characters, not bytes", fluent({tenAccented, tenAccented, tenAccented, "a"}),
         {{tenAccented, tenAccented, tenAccented, "a"}}},
        {"a long word alone", fluent({std::string(40, 'x'), "next"}), {{std::string(40, 'x')}, {"next"}}},
        {"question", fluent({"Ready?", "Go"}), {{"Ready?"}, {"Go"}}},
        {"sentence ends", fluent({"One.", "Two!", "three"}), {{"One."}, {"Two!"}, {"three"}}},
        {"comma", fluent({"Well,", "then"}), {{"Well,", "then"}}},
        {"pause of 0.7 s", {{"a", 0.5, 1}, {"b", 1.7, 2}}, {{"a", "b"}}},
        {"pause over 0.7 s", {{"a", 0.5, 1}, {"b", 1.71, 2}}, {{"a"}, {"b"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(texts(CaptionLayout::lines(speaking(c.words), realTimePlan(100))), c.lines) << c.name;
    }
}

TEST(CaptionLayout, LineTimes) {
    const auto lines = CaptionLayout::lines(
        speaking({{"Hi.", 0.02, 0.3}, {"A", 0.5, 0.51}, {"word.", 0.6, 0.9}, {"Later", 5, 5.5}}), realTimePlan(10));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].start, 0);                   // never before 0
    EXPECT_DOUBLE_EQ(lines[0].end, 0.45);           // cut back to where the next line starts
    EXPECT_DOUBLE_EQ(lines[1].start, 0.45);         // 0.05 s before its first word
    EXPECT_DOUBLE_EQ(lines[1].words[0].end, 0.58);  // a short word lasts 0.08 s
    EXPECT_DOUBLE_EQ(lines[1].end, 0.9 + 0.35);
    EXPECT_DOUBLE_EQ(lines[2].end, 5.5 + 0.35);
}

// Words move onto output time; a word running out of its segment is clipped to it first, and
// a wait the plan speeds up can join words that were far apart. Words spoken in removed
// footage (a cut in the middle or a trimmed end) are left out.
TEST(CaptionLayout, WordsOnOutputTime) {
    const Plan plan = planOf({{0, 10, 1, Reason::normal}, {10, 30, 20, Reason::idle}, {30, 40, 1, Reason::cut},
                              {40, 50, 1, Reason::normal}, {50, 60, 1, Reason::cut}});
    const auto lines = CaptionLayout::lines(speaking({{"before", 9.5, 12},
                                                      {"after", 20, 31},
                                                      {"removed", 35, 36},
                                                      {"kept", 41, 41.5},
                                                      {"trimmed", 55, 56}}),
                                            plan);
    EXPECT_EQ(texts(lines), (Texts{{"before", "after"}, {"kept"}}));
    ASSERT_EQ(lines.size(), 2u);
    const auto& first = lines[0].words;
    EXPECT_DOUBLE_EQ(first[0].start, 9.5);
    EXPECT_DOUBLE_EQ(first[0].end, 10.0);              // clipped to the normal segment's end
    EXPECT_DOUBLE_EQ(first[1].start, 10.5);            // 8 s after "before" in the recording
    EXPECT_DOUBLE_EQ(first[1].end, 11.0);               // clipped to the wait's end
    EXPECT_DOUBLE_EQ(lines[1].words[0].start, 12);
}

TEST(CaptionLook, LinesAsTextsOnlyWhenShown) {
    const std::vector<CaptionWord> words{{"", 1, 1.2}, {"Hello.", 1.2, 1.5}, {"again", 1.6, 2}};
    Project project = speaking(words);
    project.captionStyle = "boxed";
    project.captionSize = 0.05;
    project.captionBottom = 0.1;
    const auto look = CaptionLook::of(project, realTimePlan(10));
    ASSERT_TRUE(look);
    EXPECT_EQ(*look, (CaptionLook{{{"", "Hello."}, {"again"}}, "boxed", 0.05, 0.1}));

    project.showCaptions = false;
    EXPECT_FALSE(CaptionLook::of(project, realTimePlan(10)));
    EXPECT_FALSE(CaptionLook::of(speaking({}), realTimePlan(10)));
    // Every word in removed footage.
    EXPECT_FALSE(CaptionLook::of(speaking(words), planOf({{0, 5, 1, Reason::cut}, {5, 10, 1, Reason::normal}})));
}

} // namespace
} // namespace vi
