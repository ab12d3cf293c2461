#include "RecordCore/Look.h"
#include "RecordCore/Project.h"
#include "RecordCore/Wallpapers.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace vi {
namespace {

TEST(Look, HexColoursFollowTheParserRule) {
    const ColorTriple ink{11 / 255.0, 15 / 255.0, 24 / 255.0};
    for (const char* text : {"#0B0F18", "0B0F18", "##0B0F18#", "0b0f18"}) {
        EXPECT_EQ(Look::rgb(text), ink) << text;
    }
    EXPECT_EQ(Look::rgb("#FFFFFF"), (ColorTriple{1, 1, 1}));
    // A sign counts among the six characters; a negative value shows its two's-complement bytes.
    EXPECT_EQ(Look::rgb("+0B0F1"), (ColorTriple{0, 0xB0 / 255.0, 0xF1 / 255.0}));
    EXPECT_EQ(Look::rgb("-00001"), (ColorTriple{1, 1, 1}));
    EXPECT_EQ(Look::rgb("-FFFFF"), (ColorTriple{0xF0 / 255.0, 0, 1 / 255.0}));
    for (const char* bad : {"#0B0F1", "#0B0F18AA", "#0G0F18", "#0B#F18", "0B0F1+", "+-0B0F", "", "#", "######",
                            " 0B0F18", "0B0F1\xC3\xA9"}) {
        EXPECT_FALSE(Look::rgb(bad)) << bad;
    }
}

TEST(Look, BackdropPresetsAndLightness) {
    ASSERT_EQ(Backdrop::names().size(), 8u);
    EXPECT_EQ(Backdrop::names().front(), "night");
    for (const std::string& name : Backdrop::names()) {
        ASSERT_TRUE(Backdrop::presets().contains(name)) << name;
        Project project;
        project.wallpaperPreset.reset();
        project.backdrop = name;
        const Look look(project);
        EXPECT_EQ(look.isLight(), name == "paper" || name == "snow") << name;
        EXPECT_EQ(look.backdrop, Backdrop::presets().at(name));
    }
    EXPECT_EQ(Backdrop::standard().top, (ColorTriple{0.05, 0.06, 0.13}));
    Project unknown;
    unknown.wallpaperPreset.reset();
    unknown.backdrop = "Night";
    EXPECT_EQ(Look(unknown).backdrop, Backdrop::standard());
}

// Points the wallpaper cache at a fresh folder for one test.
class LookWithCache : public testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME")) {
            saved_ = old;
        }
        setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }
    // A cached file makes the wallpaper available without painting it.
    std::filesystem::path placeCachedWallpaper(const std::string& id) {
        const auto file = Wallpapers::folder() / (id + "-v1.jpg");
        std::ofstream(file) << "cached";
        return file;
    }

    vi::test::TempDir dir_;
    std::optional<std::string> saved_;
};

TEST_F(LookWithCache, WallpaperWinsOverAColourAndIsNotLight) {
    const auto cached = placeCachedWallpaper("orbit");
    Project project;
    project.wallpaperPreset = "orbit";
    project.wallpaper = "/home/someone/beach.png";
    project.solidColor = "#FFFFFF";
    project.backgroundBlur = 12;
    project.padding = 0.05;
    project.radius = 0.02;
    project.shadow = 0.3;
    const Look look(project);
    EXPECT_EQ(look.wallpaper, cached);
    EXPECT_FALSE(look.solid);
    EXPECT_FALSE(look.isLight());
    EXPECT_EQ(look.backdrop, Backdrop::standard()); // filled in even when hidden
    EXPECT_EQ(look.blur, 12);
    EXPECT_EQ(look.padding, 0.05);
    EXPECT_EQ(look.radius, 0.02);
    EXPECT_EQ(look.shadow, 0.3);
}

TEST_F(LookWithCache, UnknownWallpaperFallsToTheUsersImageThenTheColour) {
    Project project;
    project.wallpaperPreset = "Orbit"; // ids are case-sensitive
    project.wallpaper = "relative/picture.jpg";
    project.solidColor = "F5F5F4";
    Look look(project);
    EXPECT_EQ(look.wallpaper, std::filesystem::path("relative/picture.jpg"));
    EXPECT_FALSE(look.solid);

    project.wallpaper.reset();
    look = Look(project);
    EXPECT_FALSE(look.wallpaper);
    ASSERT_TRUE(look.solid);
    EXPECT_TRUE(look.isLight()); // luma about 0.96

    project.solidColor = "#F5F5F";
    look = Look(project);
    EXPECT_FALSE(look.solid);
    EXPECT_FALSE(look.isLight()); // the night backdrop shows
    EXPECT_TRUE(std::filesystem::is_empty(Wallpapers::folder())); // nothing written for unknown ids
}

TEST(Look, SolidColourLightnessThreshold) {
    // 0.3 r + 0.59 g + 0.11 b must exceed 0.6 strictly.
    const Look light(Backdrop::standard(), std::nullopt, ColorTriple{0.61, 0.61, 0.61}, 0, 0.08, 0.01, 0.6);
    const Look dark(Backdrop::presets().at("paper"), std::nullopt, ColorTriple{0.59, 0.59, 0.59}, 0, 0.08, 0.01, 0.6);
    EXPECT_TRUE(light.isLight());
    EXPECT_FALSE(dark.isLight());
}

} // namespace
} // namespace vi
