#include "RecordCore/JsonCoding.h"
#include "RecordCore/OutputFormat.h"
#include "RecordCore/Project.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace vi {
namespace {

void expectRectNear(const CanvasRect& got, const CanvasRect& want, const char* what) {
    constexpr double tolerance = 0.005;
    EXPECT_NEAR(got.x, want.x, tolerance) << what;
    EXPECT_NEAR(got.y, want.y, tolerance) << what;
    EXPECT_NEAR(got.width, want.width, tolerance) << what;
    EXPECT_NEAR(got.height, want.height, tolerance) << what;
}

TEST(OutputFormat, CanvasAndWindowOfEveryFormatAtBothScales) {
    struct Case {
        OutputFormat format;
        double aspect;
        double padding;
        CanvasSize canvas;
        CanvasRect window;
        const char* what;
    };
    const Case cases[] = {
        {OutputFormat::youtube, 16.0 / 9, 0, {1920, 1080}, {0, 0, 1920, 1080}, "16:9 source, no padding"},
        {OutputFormat::youtube, 16.0 / 9, 0.08, {1920, 1080}, {273.0667, 153.6, 1373.8667, 772.8}, "default window"},
        {OutputFormat::youtube, 1.0, 0.08, {1920, 1080}, {573.6, 153.6, 772.8, 772.8}, "square source: height-bound"},
        {OutputFormat::youtube, 2.5, 0.08, {1920, 1080}, {153.6, 217.44, 1612.8, 645.12}, "wide source: width-bound"},
        {OutputFormat::x, 16.0 / 9, 0.08, {1080, 1350}, {64.8, 150, 950.4, 1070.4}, "4:5"},
        {OutputFormat::x, 16.0 / 9, 0.01, {1080, 1350}, {8.1, 150, 1063.8, 1160}, "4:5 keeps a 40 pixel bottom"},
        {OutputFormat::shorts, 16.0 / 9, 0.08, {1080, 1920}, {64.8, 300, 950.4, 1380}, "9:16"},
        {OutputFormat::shorts, 0.5, 0.3, {1080, 1920}, {243, 300, 594, 1380}, "9:16 height never changes"},
        {OutputFormat::square, 16.0 / 9, 0, {1080, 1080}, {0, 110, 1080, 940}, "1:1 keeps a 30 pixel bottom"},
        {OutputFormat::square, 16.0 / 9, 0.08, {1080, 1080}, {64.8, 110, 950.4, 840.4}, "1:1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.format.canvas(), c.canvas) << c.what;
        const CanvasRect window = c.format.window(c.aspect, c.padding);
        expectRectNear(window, c.window, c.what);
        // A 4K export doubles the canvas and the window alike.
        EXPECT_EQ(c.format.canvas(2), (CanvasSize{c.canvas.width * 2, c.canvas.height * 2})) << c.what;
        expectRectNear(window.scaled(2), c.window.scaled(2), c.what);
        // The header band ends where the portrait and square windows begin.
        if (c.format != OutputFormat::youtube) {
            EXPECT_EQ(window.y, c.format.headerHeight()) << c.what;
        }
    }
}

TEST(OutputFormat, RawValuesLabelsAndOrder) {
    const auto& all = OutputFormat::allCases();
    ASSERT_EQ(all.size(), 4u);
    const char* raw[] = {"16:9", "4:5", "9:16", "1:1"};
    const char* labels[] = {"YouTube", "X", "Shorts", "Square"};
    const double headers[] = {0, 150, 300, 110};
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].rawValue(), raw[i]);
        EXPECT_EQ(all[i].label(), labels[i]);
        EXPECT_EQ(all[i].headerHeight(), headers[i]);
        EXPECT_EQ(OutputFormat::fromRawValue(raw[i]), all[i]);
        // Documents carry the raw value and read it back.
        const nlohmann::json encoded = all[i];
        EXPECT_EQ(encoded, raw[i]);
        EXPECT_EQ(encoded.get<OutputFormat>(), all[i]);
    }
    for (const char* other : {"16:10", "16 : 9", " 16:9", "16:9 ", "YouTube", ""}) {
        EXPECT_FALSE(OutputFormat::fromRawValue(other)) << other;
    }
    EXPECT_THROW(nlohmann::json("16:10").get<OutputFormat>(), DocumentError);
    EXPECT_THROW(nlohmann::json(169).get<OutputFormat>(), DocumentError);
}

TEST(OutputFormat, ProjectFormatFallsBackTo16By9) {
    Project project;
    project.format = "9:16";
    EXPECT_EQ(outputFormat(project), OutputFormat::shorts);
    project.format = "9:16 ";
    EXPECT_EQ(outputFormat(project), OutputFormat::youtube);
    project.format = "";
    EXPECT_EQ(outputFormat(project), OutputFormat::youtube);
}

} // namespace
} // namespace vi
