// The small records other parts of the system share: activity samples, source facts, speed
// reasons, the record error and identifiers.
#include "RecordCore/ActivitySample.h"
#include "RecordCore/JsonCoding.h"
#include "RecordCore/RecordError.h"
#include "RecordCore/SourceInfo.h"
#include "RecordCore/SpeedSegment.h"
#include "RecordCore/Uuid.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

namespace vi {
namespace {

using nlohmann::json;

TEST(ActivityDocument, RoundTripAndOptionalFocus) {
    vi::test::TempDir dir;
    const std::vector<ActivitySample> samples{{0, 0, std::nullopt}, {0.0667, 0.25, NRect(0.1, 0.2, 0.3, 0.4)}};
    ActivitySample::saveList(dir / "activity.json", samples);
    EXPECT_EQ(ActivitySample::loadList(dir / "activity.json"), samples);
    EXPECT_FALSE(json::parse(ActivitySample::encodeList(samples))[0].contains("focus"));

    const auto decoded = ActivitySample::decodeList(R"([{"t":1,"energy":0.2},{"t":2,"energy":0.3,"focus":null,"x":1}])");
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_FALSE(decoded[0].focus || decoded[1].focus);
    EXPECT_TRUE(ActivitySample::decodeList("[]").empty());

    for (const char* bad : {R"({"t":1,"energy":0.2})", R"([{"t":1}])", R"([{"t":1,"energy":0.2,"focus":{"x":0}}])",
                            R"([{"t":"1","energy":0.2}])"}) {
        EXPECT_THROW(ActivitySample::decodeList(bad), DocumentError) << bad;
    }
    EXPECT_THROW(ActivitySample::loadList(dir / "absent.json"), DocumentError);
}

TEST(SourceInfoCoding, WholeNumbersInRangeAndAllMembersRequired) {
    const SourceInfo info{1920, 1080, 12.5, 59.94, true};
    EXPECT_EQ(json(info).get<SourceInfo>(), info);
    EXPECT_DOUBLE_EQ(info.aspect(), 1920.0 / 1080.0);
    EXPECT_EQ(json::parse(R"({"width":640.0,"height":360,"duration":1,"fps":30,"hasAudio":false})").get<SourceInfo>().width, 640);
    for (const char* bad : {
             R"({"width":640.5,"height":360,"duration":1,"fps":30,"hasAudio":false})",
             R"({"width":1e300,"height":360,"duration":1,"fps":30,"hasAudio":false})",
             R"({"width":4294967296,"height":360,"duration":1,"fps":30,"hasAudio":false})",
             R"({"width":18446744073709551615,"height":360,"duration":1,"fps":30,"hasAudio":false})",
             R"({"width":-9223372036854775808,"height":360,"duration":1,"fps":30,"hasAudio":false})",
             R"({"width":640,"height":360,"duration":1,"fps":30})",
             R"({"width":640,"height":360,"duration":1,"fps":30,"hasAudio":0})",
         }) {
        EXPECT_THROW(json::parse(bad).get<SourceInfo>(), DocumentError) << bad;
    }
}

TEST(SpeedSegmentRecord, ReasonRawValuesAndDerivedLengths) {
    using R = SpeedSegment::Reason;
    const std::pair<R, const char*> raw[] = {{R::normal, "normal"}, {R::idle, "idle"}, {R::agentWorking, "agentWorking"},
                                             {R::manual, "manual"}, {R::cut, "cut"}, {R::hold, "hold"}};
    for (const auto& [reason, text] : raw) {
        EXPECT_EQ(SpeedSegment::rawValue(reason), text);
        EXPECT_EQ(SpeedSegment::reasonFromRaw(text), reason);
    }
    EXPECT_FALSE(SpeedSegment::reasonFromRaw("Normal"));
    EXPECT_FALSE(SpeedSegment::reasonFromRaw(""));

    EXPECT_EQ((SpeedSegment{10, 20, 10, R::idle}).outputLength(), 1);
    EXPECT_EQ((SpeedSegment{20, 25, 1, R::cut}).outputLength(), 0);
    EXPECT_TRUE((SpeedSegment{10, 20, 10, R::idle}).isFastForward());
    EXPECT_FALSE((SpeedSegment{10, 20, 10, R::cut}).isFastForward());
    EXPECT_FALSE((SpeedSegment{10, 20, 1, R::normal}).isFastForward());
}

TEST(RecordErrorTexts, EachCaseDescribesItself) {
    EXPECT_STREQ(RecordError::writeFailed("no frames were captured").what(),
                 "Could not write the video: no frames were captured");
    EXPECT_EQ(RecordError::noVideoTrack().description(), "The file has no video track.");
    EXPECT_EQ(RecordError::readFailed().description(), "Could not read the video.");
    EXPECT_EQ(RecordError::readFailed().kind(), RecordError::Kind::readFailed);
}

TEST(UuidText, ParsesEitherCaseAndWritesUpperCase) {
    const auto id = Uuid::parse("6f9619ff-8b86-d011-b42d-00c04fc964ff");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->string(), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(Uuid::parse(id->string()), id);
    for (const char* bad : {"", "6F9619FF8B86D011B42D00C04FC964FF", "6F9619FF-8B86-D011-B42D-00C04FC964F",
                            "6F9619FF-8B86-D011-B42D-00C04FC964FFF", "6F9619FF-8B86-D011-B42D_00C04FC964FF",
                            "6G9619FF-8B86-D011-B42D-00C04FC964FF", "{6F9619FF-8B86-D011-B42D-00C04FC964F}"}) {
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    }
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string text = Uuid::random().string();
        EXPECT_EQ(text[14], '4');
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100u);
}

} // namespace
} // namespace vi
