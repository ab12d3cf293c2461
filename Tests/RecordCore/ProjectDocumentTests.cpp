#include "RecordCore/Project.h"

#include "Support/TestOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace vi {
namespace {

using nlohmann::json;

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A project with every optional present and every field away from its default.
Project fullyEdited() {
    Project p;
    p.format = "9:16";
    p.wallpaperPreset = "dunes";
    p.wallpaper = "/home/someone/Pictures/bg é.png";
    p.solidColor = "#1A2B3C";
    p.backdrop = "sunset";
    p.backgroundBlur = 12.5;
    p.padding = 0.1;
    p.radius = 0.02;
    p.shadow = 0.3;
    p.cursorSize = 2;
    p.cursorSmooth = false;
    p.clickRipples = false;
    p.hideIdleCursor = false;
    p.cursorStyle = "dot";
    p.clickEffect = "none";
    p.clickBounce = 0.1;
    p.cameraShow = false;
    p.cameraCircle = false;
    p.cameraSize = 0.3;
    p.cameraCorner = "tl";
    p.cameraMirror = false;
    p.cameraShape = "square";
    p.cameraBorder = true;
    p.cameraMakeRoom = false;
    p.showTitle = true;
    p.title = "A \"quoted\" title";
    p.subtitle = "line\ntwo";
    p.showEnd = true;
    p.endTitle = "Bye";
    p.endSubtitle = "example.org";
    p.showClock = true;
    p.skipWaiting = false;
    p.followAction = false;
    p.maxZoom = 2.5;
    p.maxSpeed = 12;
    p.motion = "smooth";
    p.captions = std::vector<CaptionWord>{{"hello", 1, 1.5}, {"world", 1.5, 2}};
    p.showCaptions = true;
    p.captionStyle = "plain";
    p.captionSize = 0.05;
    p.captionBottom = 0.1;
    p.crop = NRect(0.1, 0.2, 0.5, 0.6);
    p.trimStart = 1.25;
    p.trimEnd = 30.5;
    p.cuts = {TimeRange::stored(9, 4), TimeRange(2, 3)};
    p.splits = {7, 2, 7};
    p.speedBlocks = std::vector<SpeedBlock>{SpeedBlock(3, 8, 6, SpeedSegment::Reason::manual),
                                            SpeedBlock(10, 20, 40, SpeedSegment::Reason::agentWorking)};
    p.zoomBlocks = std::vector<ZoomBlock>{ZoomBlock(4, 6, 0.3, 0.7, 1.8)};
    return p;
}

TEST(ProjectDocument, EmptyObjectLoadsAsNewProject) {
    const auto p = Project::decode("{}");
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, Project());
    EXPECT_EQ(p->wallpaperPreset, "orbit");
    EXPECT_FALSE(p->crop || p->trimEnd || p->captions || p->speedBlocks || p->zoomBlocks);
    EXPECT_TRUE(p->cuts.empty() && p->splits.empty());
    EXPECT_EQ(p->format, "16:9");
    EXPECT_EQ(p->maxSpeed, 40);
}

TEST(ProjectDocument, SaveAndLoadKeepEveryField) {
    vi::test::TempDir dir;
    const Project original = fullyEdited();
    ASSERT_TRUE(original.save(dir / "project.json"));
    const auto loaded = Project::load(dir / "project.json");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, original);
    // The reversed cut is stored as written, not reordered.
    EXPECT_EQ(loaded->cuts[0].start, 9);
}

TEST(ProjectDocument, SavedTextIsPrettyWithSortedKeysAndUpperCaseIds) {
    vi::test::TempDir dir;
    Project p;
    p.zoomBlocks = std::vector<ZoomBlock>{ZoomBlock(4, 6, 0.3, 0.7, 1.8)};
    ASSERT_TRUE(p.save(dir / "project.json"));
    const std::string text = readText(dir / "project.json");
    EXPECT_EQ(text.rfind("{\n", 0), 0u);
    EXPECT_LT(text.find("\"backdrop\""), text.find("\"cameraBorder\""));
    EXPECT_LT(text.find("\"cameraBorder\""), text.find("\"zoomBlocks\""));
    // Nested objects are sorted too.
    const auto block = text.find("\"zoomBlocks\"");
    EXPECT_LT(text.find("\"end\"", block), text.find("\"id\"", block));
    const std::string id = (*p.zoomBlocks)[0].id.string();
    EXPECT_NE(text.find("\"" + id + "\""), std::string::npos);
    for (const char c : id) EXPECT_FALSE(c >= 'a' && c <= 'z');
}

TEST(ProjectDocument, AbsentOptionalsAreLeftOutButClearedPresetIsNull) {
    Project p;
    p.wallpaperPreset.reset();
    p.solidColor = "#000000";
    const json saved = json::parse(p.encode());
    for (const char* key : {"trimEnd", "crop", "captions", "wallpaper", "speedBlocks", "zoomBlocks"}) {
        EXPECT_FALSE(saved.contains(key)) << key;
    }
    ASSERT_TRUE(saved.contains("wallpaperPreset"));
    EXPECT_TRUE(saved["wallpaperPreset"].is_null());

    // The cleared preset survives reopening; a file that never had the key gets the default.
    const auto reopened = Project::decode(saved.dump());
    ASSERT_TRUE(reopened);
    EXPECT_FALSE(reopened->wallpaperPreset);
    EXPECT_EQ(*reopened, p);
    json older = saved;
    older.erase("wallpaperPreset");
    EXPECT_EQ(Project::decode(older.dump())->wallpaperPreset, "orbit");
}

TEST(ProjectDocument, EmptyBlockListsStayDistinctFromAutomatic) {
    const auto none = Project::decode(R"({"speedBlocks": [], "zoomBlocks": null})");
    ASSERT_TRUE(none);
    ASSERT_TRUE(none->speedBlocks);
    EXPECT_TRUE(none->speedBlocks->empty());
    EXPECT_FALSE(none->zoomBlocks);
    Project p;
    p.speedBlocks = std::vector<SpeedBlock>{};
    EXPECT_EQ(*Project::decode(p.encode()), p);
}

TEST(ProjectDocument, OlderSwitchesMigrateOnlyWithoutNewerKeys) {
    struct Case {
        const char* file;
        const char* shape;
        const char* effect;
    };
    const Case cases[] = {
        {R"({"cameraCircle": false})", "rounded", "ripple"},
        {R"({"cameraCircle": true})", "circle", "ripple"},
        {R"({"cameraCircle": false, "cameraShape": "square"})", "square", "ripple"},
        {R"({"cameraCircle": false, "cameraShape": "circle"})", "circle", "ripple"},
        {R"({"clickRipples": false})", "circle", "none"},
        {R"({"clickRipples": false, "clickEffect": "pulse"})", "circle", "pulse"},
        {R"({"cameraCircle": false, "clickRipples": false})", "rounded", "none"},
    };
    for (const Case& c : cases) {
        const auto p = Project::decode(c.file);
        ASSERT_TRUE(p) << c.file;
        EXPECT_EQ(p->cameraShape, c.shape) << c.file;
        EXPECT_EQ(p->clickEffect, c.effect) << c.file;
    }
}

TEST(ProjectDocument, UnknownKeysAreIgnored) {
    const auto p = Project::decode(R"({"padding": 0.2, "futureSetting": {"deep": [1, 2]}, "zzz": null})");
    ASSERT_TRUE(p);
    Project expected;
    expected.padding = 0.2;
    EXPECT_EQ(*p, expected);
}

TEST(ProjectDocument, BadValuesRejectTheWholeFile) {
    const std::string id = R"("id": "6F9619FF-8B86-D011-B42D-00C04FC964FF")";
    const std::string cases[] = {
        R"({"padding": "0.1"})",
        R"({"format": null})",
        R"({"cursorSmooth": 1})",
        R"({"title": 5})",
        R"({"cuts": null})",
        R"({"cuts": [{"start": 1}]})",
        R"({"splits": [1, "2"]})",
        R"({"crop": {"x": 0, "y": 0, "w": 1}})",
        R"({"captions": [{"start": 0, "end": 1}]})",
        R"({"speedBlocks": [{"start": 0, "end": 1, "speed": 2, "reason": "manual"}]})",
        R"({"speedBlocks": [{"id": "not-a-uuid", "start": 0, "end": 1, "speed": 2, "reason": "manual"}]})",
        R"({"speedBlocks": [{)" + id + R"(, "start": 0, "end": 1, "speed": 2, "reason": "turbo"}]})",
        R"({"zoomBlocks": [{)" + id + R"(, "start": 0, "end": 1, "x": 0.5, "y": 0.5}]})",
        R"({"zoomBlocks": {}})",
        R"([])",
        R"("project")",
        R"({"padding": 0.1)",
        "",
    };
    for (const std::string& c : cases) EXPECT_FALSE(Project::decode(c)) << c;
    // The same block with every member present, in lower case, is fine.
    const auto ok = Project::decode(R"({"speedBlocks": [{"id": "6f9619ff-8b86-d011-b42d-00c04fc964ff", "start": 0, "end": 1, "speed": 2, "reason": "hold"}]})");
    ASSERT_TRUE(ok);
    EXPECT_EQ((*ok->speedBlocks)[0].id.string(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ((*ok->speedBlocks)[0].reason, SpeedSegment::Reason::hold);
}

TEST(ProjectDocument, MissingOrUnreadableFileLoadsAsNone) {
    vi::test::TempDir dir;
    EXPECT_FALSE(Project::load(dir / "absent.json"));
    EXPECT_FALSE(Project::load(dir.path())); // a folder
}

TEST(ProjectDocument, NonFiniteNumberWritesNothingAndKeepsOldFile) {
    vi::test::TempDir dir;
    const auto file = dir / "project.json";
    ASSERT_TRUE(Project().save(file));
    const std::string before = readText(file);
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        Project p;
        p.cuts = {TimeRange(1, 2)};
        p.cuts[0].end = bad;
        EXPECT_FALSE(p.save(file));
        Project q;
        q.trimEnd = bad;
        EXPECT_FALSE(q.save(file));
    }
    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary left behind";
}

TEST(ProjectDocument, UnwritableFolderReportsFailure) {
    vi::test::TempDir dir;
    EXPECT_FALSE(Project().save(dir / "missing-folder" / "project.json"));
}

TEST(ProjectDocument, EqualityComparesFloatsNumericallyAndIdsExactly) {
    Project a;
    a.zoomBlocks = std::vector<ZoomBlock>{ZoomBlock(1, 2, 0.5, 0.5, 1.5)};
    Project b = a;
    EXPECT_EQ(a, b);
    (*b.zoomBlocks)[0].id = Uuid::random();
    EXPECT_NE(a, b);

    Project zero, negativeZero;
    negativeZero.trimStart = -0.0;
    EXPECT_EQ(zero, negativeZero);

    Project withNaN;
    withNaN.padding = std::nan("");
    EXPECT_NE(withNaN, withNaN);
}

TEST(TimeRange, OrdersOnConstructionButNotOnDecoding) {
    const TimeRange made(5, 2);
    EXPECT_EQ(made.start, 2);
    EXPECT_EQ(made.end, 5);
    const TimeRange decoded = json::parse(R"({"start": 5, "end": 2})").get<TimeRange>();
    EXPECT_EQ(decoded.start, 5);
    EXPECT_EQ(decoded.end, 2);
    EXPECT_EQ(decoded.length(), -3);
    EXPECT_TRUE(made.contains(2));
    EXPECT_FALSE(made.contains(5));
    EXPECT_EQ(std::hash<TimeRange>{}(TimeRange(0.0, 1)), std::hash<TimeRange>{}(TimeRange(-0.0, 1)));
}

} // namespace
} // namespace vi
