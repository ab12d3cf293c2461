#include "Platform/Raster/Fonts.h"
#include "Platform/Raster/Paragraph.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>

namespace vi::raster {
namespace {

TEST(FontsTests, InterfaceFamiliesComeFromTheResourcesFolder) {
    // The test main points VI_RESOURCES at the build's resources, where the build copies the
    // fonts that setup installed.
    EXPECT_TRUE(std::filesystem::is_directory(Fonts::resourcesDirectory() / "Fonts"));
    ASSERT_TRUE(Fonts::interfaceFontsRegistered());
    EXPECT_EQ(QFontInfo(Fonts::words(20, FontWeight::Bold)).family(), "Plus Jakarta Sans");
    EXPECT_EQ(QFontInfo(Fonts::digits(20, FontWeight::Semibold)).family(), "JetBrains Mono");
    // The heaviest weight the word font has stands in for Heavy.
    EXPECT_EQ(QFontInfo(Fonts::words(20, FontWeight::Heavy)).weight(), QFont::ExtraBold);
    EXPECT_EQ(QFontInfo(Fonts::words(20, FontWeight::Medium)).weight(), QFont::Medium);
}

TEST(FontsTests, SizesArePixelsWithFractionsKept) {
    // Text at twice the size is twice as large, fractions of a pixel included.
    Paragraph small(Fonts::words(41.6, FontWeight::Bold), Qt::AlignLeft);
    small.add("Wallpaper", Qt::white);
    Paragraph large(Fonts::words(83.2, FontWeight::Bold), Qt::AlignLeft);
    large.add("Wallpaper", Qt::white);
    EXPECT_NEAR(large.size().width(), 2 * small.size().width(), 0.5);
    EXPECT_NEAR(large.size().height(), 2 * small.size().height(), 0.5);
    // A pixel size means its pixels: the line height of a sans-serif is a little above it.
    EXPECT_GT(small.size().height(), 41.6);
    EXPECT_LT(small.size().height(), 1.5 * 41.6);
    const QFontMetricsF digits(Fonts::digits(30, FontWeight::Semibold), Fonts::measuringDevice());
    EXPECT_EQ(digits.horizontalAdvance("11:11"), digits.horizontalAdvance("88:08"));
}

TEST(FontsTests, ParagraphsWrapAtWordsWithinTheirWidth) {
    Paragraph text(Fonts::words(20, FontWeight::Medium), Qt::AlignHCenter);
    EXPECT_EQ(text.bounds(100), QSizeF(0, 0)) << "empty text takes no room";
    text.add("first", Qt::white);
    text.add(" second", Qt::red);
    const QSizeF line = text.size();
    const QSizeF wide = text.bounds(line.width() + 10);
    EXPECT_DOUBLE_EQ(wide.height(), line.height());
    const QSizeF narrow = text.bounds(line.width() * 0.7);
    EXPECT_DOUBLE_EQ(narrow.height(), 2 * line.height());
    EXPECT_LT(narrow.width(), line.width() * 0.7);
}

} // namespace
} // namespace vi::raster
