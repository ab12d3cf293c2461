#include "RecordCore/InputLog.h"

#include "RecordCore/JsonCoding.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <random>

namespace vi {
namespace {

using Kind = Event::Kind;

constexpr double threshold = 0.004;

TEST(InputLogActivity, EventsAndPointerMovementInHalfOpenWindows) {
    struct Case {
        const char* name;
        std::vector<CursorSample> cursor;
        std::vector<Event> events;
        double from, to, threshold;
        bool active;
    };
    const Case cases[] = {
        {"empty log", {}, {}, 0, 10, threshold, false},
        {"event at from is inside", {}, {{2, Kind::click, 0.5, 0.5}}, 2, 3, threshold, true},
        {"event at to is outside", {}, {{3, Kind::click, 0.5, 0.5}}, 2, 3, threshold, false},
        {"key event without position", {}, {{2.5, Kind::key, std::nullopt, std::nullopt}}, 2, 3, threshold, true},
        {"one sample is no movement", {{1, 0, 0}, {2.5, 0.9, 0.9}, {4, 0, 0}}, {}, 2, 3, threshold, false},
        {"movement measured from the window's first sample",
         {{2.1, 0.5, 0.5}, {2.2, 0.503, 0.5}, {2.3, 0.506, 0.5}}, {}, 2, 3, threshold, true},
        {"small steps that never add up", {{2.1, 0.5, 0.5}, {2.2, 0.503, 0.5}, {2.3, 0.5, 0.503}}, {}, 2, 3, threshold, false},
        {"equal to threshold is not movement", {{2.1, 0.5, 0.5}, {2.2, 0.75, 0.75}}, {}, 2, 3, 0.25, false},
        {"movement on y alone", {{2.1, 0.5, 0.5}, {2.2, 0.5, 0.51}}, {}, 2, 3, threshold, true},
        {"samples outside the window do not count", {{1.9, 0, 0}, {2.1, 0.5, 0.5}, {3, 1, 1}}, {}, 2, 3, threshold, false},
        {"NaN window bound", {{2.1, 0.5, 0.5}, {2.2, 0.9, 0.9}}, {{2.5, Kind::key, std::nullopt, std::nullopt}}, std::nan(""), 3, threshold, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InputLog(c.cursor, c.events, true).userActive(c.from, c.to, c.threshold), c.active);
        // The same log out of time order (items far outside the window, later then earlier)
        // takes the plain walk and must agree.
        std::vector<CursorSample> cursor = c.cursor;
        std::vector<Event> events = c.events;
        cursor.insert(cursor.end(), {{50, 0, 0}, {-1, 1, 1}});
        events.insert(events.end(), {{50, Kind::scroll, 0, 0}, {-1, Kind::scroll, 0, 0}});
        EXPECT_EQ(InputLog(cursor, events, true).userActive(c.from, c.to, c.threshold), c.active);
    }
}

// The binary search must answer exactly as the walk over the same samples does; an unordered copy
// (one sample moved to the end, with a NaN time that the walk never matches) forces the walk.
TEST(InputLogActivity, OrderedSearchAgreesWithWalkOnRandomLogs) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> position(0.45, 0.55);
    for (int round = 0; round < 20; ++round) {
        std::vector<CursorSample> cursor;
        std::vector<Event> events;
        double t = 0;
        for (int i = 0; i < 600; ++i) {
            t += (random() % 4) * 0.01; // repeated times too
            cursor.push_back({t, position(random), position(random)});
            if (random() % 40 == 0) events.push_back({t, Kind::click, 0.5, 0.5});
        }
        const InputLog ordered(cursor, events, true);
        cursor.push_back({std::nan(""), 0, 0});
        events.push_back({std::nan(""), Kind::key, std::nullopt, std::nullopt});
        const InputLog walked(cursor, events, true);
        for (double from = -0.5; from < t + 0.5; from += 0.07) {
            for (const double length : {0.0, 0.03, 0.25, 1.25}) {
                for (const double limit : {0.004, 0.05, 0.2}) {
                    ASSERT_EQ(ordered.userActive(from, from + length, limit), walked.userActive(from, from + length, limit))
                        << "window " << from << " + " << length << " threshold " << limit;
                }
            }
        }
    }
}

TEST(InputLogDocument, RoundTripKeepsAbsentOptionalsAbsent) {
    vi::test::TempDir dir;
    const InputLog log({{0, 0.25, 0.5}, {0.016, -0.1, 1.2}},
                       {{0.5, Kind::click, 0.25, 0.5}, {0.6, Kind::rightClick, 0.3, 0.4},
                        {0.7, Kind::key, std::nullopt, std::nullopt}, {0.8, Kind::scroll, 0.1, 0.9}},
                       std::nullopt, false, std::nullopt);
    log.save(dir / "input.json");
    const InputLog back = InputLog::load(dir / "input.json");
    EXPECT_EQ(back, log);
    EXPECT_FALSE(back.keysTracked);
    EXPECT_EQ(back.cursorInVideo, false);

    const auto text = nlohmann::json::parse(log.encode());
    EXPECT_FALSE(text.contains("keysTracked"));
    EXPECT_FALSE(text.contains("cameraOffset"));
    EXPECT_FALSE(text["events"][2].contains("x"));
    EXPECT_EQ(text["events"][1]["kind"], "rightClick");
}

TEST(InputLogDocument, NumbersReadBackExactly) {
    const double awkward[] = {0.1 + 0.2, 1e-300, 5e-324, 1.7976931348623157e308, -0.0, 1.2345678901234568e20, 1.0 / 3.0};
    std::vector<CursorSample> cursor;
    for (const double v : awkward) cursor.push_back({v, -v, v * 0.5});
    const InputLog log(cursor, {{0.1 + 0.2, Kind::scroll, 1.0 / 3.0, 2.0 / 3.0}}, std::nullopt, true, 0.1 + 0.7);
    EXPECT_EQ(InputLog::decode(log.encode()), log);
}

TEST(InputLogDocument, DecodingRules) {
    const InputLog nulls = InputLog::decode(R"({"cursor":[],"events":[],"cameraOffset":null,"keysTracked":null,"extra":1})");
    EXPECT_FALSE(nulls.cameraOffset);
    EXPECT_FALSE(nulls.keysTracked);
    const InputLog made({}, {}, true);
    EXPECT_EQ(made.keysTracked, true);
    EXPECT_FALSE(made.cursorInVideo || made.cameraOffset);

    const char* failing[] = {
        R"({"events":[]})",
        R"({"cursor":[]})",
        R"({"cursor":[{"t":0,"x":0}],"events":[]})",
        R"({"cursor":[],"events":[{"t":0}]})",
        R"({"cursor":[],"events":[{"kind":"key"}]})",
        R"({"cursor":[],"events":[{"t":0,"kind":"doubleClick","x":0,"y":0}]})",
        R"({"cursor":[],"events":[{"t":0,"kind":"click","x":"0"}]})",
        R"({"cursor":[],"events":[],"keysTracked":"yes"})",
        R"({"cursor":{},"events":[]})",
        R"([])",
    };
    for (const char* doc : failing) EXPECT_THROW(InputLog::decode(doc), DocumentError) << doc;
}

TEST(InputLogDocument, MissingFileAndUnwritableFolderThrow) {
    vi::test::TempDir dir;
    EXPECT_THROW(InputLog::load(dir / "absent.json"), DocumentError);
    EXPECT_THROW(InputLog().save(dir / "no-folder" / "input.json"), DocumentError);
    const InputLog bad({{std::nan(""), 0, 0}}, {}, true);
    EXPECT_THROW(bad.save(dir / "input.json"), DocumentError);
    EXPECT_FALSE(std::filesystem::exists(dir / "input.json"));
}

} // namespace
} // namespace vi
