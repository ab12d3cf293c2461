// The three document loaders meet damaged and hostile files: each must give a clear failure (or
// the project loader's "no project") and never crash or read out of bounds.
#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/JsonCoding.h"
#include "RecordCore/Project.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace vi {
namespace {

std::string nested(int depth, const std::string& open, const std::string& close) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += open;
    for (int i = 0; i < depth; ++i) s += close;
    return s;
}

struct Hostile {
    const char* name;
    std::string bytes;
};

std::vector<Hostile> hostileDocuments() {
    const std::string validLog = R"({"cursor":[{"t":0,"x":0.5,"y":0.5}],"events":[]})";
    return {
        {"empty", ""},
        {"truncated", validLog.substr(0, validLog.size() / 2)},
        {"NaN as text", R"({"cursor":[{"t":NaN,"x":0,"y":0}],"events":[],"padding":NaN})"},
        {"Infinity as text", R"([{"t":Infinity,"energy":0}])"},
        {"number beyond double", R"({"cursor":[{"t":1e400,"x":0,"y":0}],"events":[],"padding":1e400,"t":1e400})"},
        {"number beyond double in a list", R"([{"t":1e400,"energy":0}])"},
        {"deep arrays", nested(100000, "[", "]")},
        {"deep objects", nested(100000, "{\"a\":", "}")},
        {"deep but unterminated", std::string(200000, '[')},
        {"invalid UTF-8 in a string", "{\"title\":\"\xff\xfe\",\"cursor\":[],\"events\":[]}"},
        {"overlong UTF-8", "{\"title\":\"\xc0\xaf\"}"},
        {"lone surrogate escape", R"({"title":"\ud800","cursor":[],"events":[]})"},
        {"NUL byte", std::string("{\"cursor\":[],\0\"events\":[]}", 26)},
        {"wrong top level", R"("just text")"},
        {"trailing garbage", validLog + "}"},
        {"two documents", validLog + validLog},
    };
}

TEST(HostileDocuments, LoadersFailCleanly) {
    for (const Hostile& h : hostileDocuments()) {
        SCOPED_TRACE(h.name);
        EXPECT_FALSE(Project::decode(h.bytes));
        EXPECT_THROW(InputLog::decode(h.bytes), DocumentError);
        EXPECT_THROW(ActivitySample::decodeList(h.bytes), DocumentError);
    }
}

TEST(HostileDocuments, NestingLimitLeavesOrdinaryDocumentsAlone) {
    // Unknown members may nest a little; brackets inside strings do not count.
    const std::string deepExtra = nested(coding::maxNestingDepth - 1, "[", "]");
    EXPECT_TRUE(Project::decode(R"({"future":)" + deepExtra + "}"));
    EXPECT_FALSE(Project::decode(R"({"future":[)" + deepExtra + "]}"));
    EXPECT_TRUE(Project::decode(R"({"title":")" + std::string(1000, '[') + R"(\"]"})"));
    const auto p = Project::decode(R"({"title":"{[\\"})");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->title, "{[\\");
}

TEST(HostileDocuments, HugeNumbersInWholeNumberMembersAreRejected) {
    // Accepted by the project as plain floats, refused where a whole number is needed.
    EXPECT_EQ(Project::decode(R"({"padding": 1e300})")->padding, 1e300);
    EXPECT_EQ(Project::decode(R"({"trimStart": 99999999999999999999999})")->trimStart, 1e23);
    EXPECT_THROW(coding::wholeNumber(nlohmann::json::parse(R"({"n": 1e19})"), "n"), DocumentError);
}

TEST(HostileDocuments, ValidUnicodeTextSurvives) {
    const auto p = Project::decode(R"({"title":"Grüße \u2014 \ud83d\ude00"})");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->title, "Grüße — 😀");
}

} // namespace
} // namespace vi
