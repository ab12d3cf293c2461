#include "RecordCore/Wallpapers.h"

#include "Platform/Raster/ImageFile.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vi {
namespace {

using raster::Image;

class WallpaperCacheTests : public testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("XDG_DATA_HOME");
        saved_ = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
        setenv("XDG_DATA_HOME", dataHome_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
    }
    std::vector<std::filesystem::path> cachedFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(Wallpapers::folder())) {
            files.push_back(entry.path().filename());
        }
        return files;
    }

    test::TempDir dataHome_;
    std::optional<std::string> saved_;
};

TEST_F(WallpaperCacheTests, FolderLivesInTheDataHome) {
    EXPECT_EQ(Wallpapers::folder(), dataHome_.path() / "Vavod Idiriz" / "Wallpapers");
    EXPECT_TRUE(std::filesystem::is_directory(Wallpapers::folder()));
}

TEST_F(WallpaperCacheTests, UnknownIdsMakeNoFile) {
    for (const char* id : {"nope", "Orbit", "../../escape", "orbit/../orbit", ""}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(Wallpapers::url(id));
    }
    // Not even a file that happens to carry such a name is handed out.
    std::ofstream(Wallpapers::folder() / "planted-v1.jpg") << "not a wallpaper";
    EXPECT_FALSE(Wallpapers::url("planted"));
    EXPECT_EQ(cachedFiles(), std::vector<std::filesystem::path>{"planted-v1.jpg"});
}

TEST_F(WallpaperCacheTests, ConcurrentCallersShareOneFullSizeFile) {
    // Two renders ask for the same missing wallpaper at once.
    std::optional<std::filesystem::path> first;
    std::optional<std::filesystem::path> second;
    std::thread one([&] { first = Wallpapers::url("eclipse"); });
    std::thread two([&] { second = Wallpapers::url("eclipse"); });
    one.join();
    two.join();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first, second);
    EXPECT_EQ(*first, Wallpapers::folder() / "eclipse-v1.jpg");
    EXPECT_EQ(cachedFiles(), std::vector<std::filesystem::path>{"eclipse-v1.jpg"}) << "one file, no temporaries";

    const auto written = std::filesystem::last_write_time(*first);
    EXPECT_EQ(Wallpapers::url("eclipse"), first);
    EXPECT_EQ(std::filesystem::last_write_time(*first), written) << "a present file is used as it is";

    const std::optional<Image> decoded = raster::readImageFile(*first);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width(), Wallpapers::cachedWidth);
    EXPECT_EQ(decoded->height(), Wallpapers::cachedHeight);
}

} // namespace
} // namespace vi
