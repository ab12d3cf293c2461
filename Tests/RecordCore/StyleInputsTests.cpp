#include "RecordCore/CameraStyle.h"
#include "RecordCore/Cards.h"
#include "RecordCore/PointerStyle.h"

#include <gtest/gtest.h>

namespace vi {
namespace {

TEST(StyleInputs, CardsCarryTheTextsAndShowTheHeaderOnlyForAShownTitle) {
    struct Case {
        bool showTitle;
        const char* title;
        bool header;
    };
    for (const Case& c : {Case{true, "Demo", true}, Case{true, "", false}, Case{false, "Demo", false}}) {
        Project project;
        project.showTitle = c.showTitle;
        project.title = c.title;
        project.subtitle = "sub";
        project.showEnd = false;
        project.endTitle = "Thanks";
        project.endSubtitle = "bye";
        EXPECT_EQ(Cards::of(project), (Cards{c.title, "sub", "Thanks", "bye", c.header})) << c.showTitle << c.title;
    }
    EXPECT_EQ(Cards(), (Cards{"", "", "", "", false}));
}

TEST(StyleInputs, CameraStyleOnlyWhenTheCameraShows) {
    Project project;
    project.cameraShape = "rounded";
    project.cameraSize = 0.3;
    project.cameraCorner = "tl";
    project.cameraMirror = false;
    project.cameraBorder = true;
    EXPECT_EQ(CameraStyle::of(project), (CameraStyle{"rounded", 0.3, "tl", false, true}));
    project.cameraShow = false;
    EXPECT_FALSE(CameraStyle::of(project));
    EXPECT_EQ(CameraStyle(), (CameraStyle{"circle", 0.24, "br", true, false}));
}

TEST(StyleInputs, PointerStyleAlwaysCopied) {
    Project project;
    project.cursorStyle = "dot";
    project.clickEffect = "none";
    project.clickRipples = true; // the older switch is not read
    const PointerStyle style = PointerStyle::of(project);
    EXPECT_EQ(style.style, "dot");
    EXPECT_EQ(style.effect, "none");
    EXPECT_EQ(PointerStyle().style, "arrow");
    EXPECT_EQ(PointerStyle().effect, "ripple");
}

} // namespace
} // namespace vi
