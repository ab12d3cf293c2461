#include "Platform/Desktop/AtomicFile.h"
#include "Platform/Desktop/ReadFile.h"
#include "Support/TestOutput.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vi::platform {
namespace {

std::size_t entries(const std::filesystem::path& folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(AtomicFile, WritesAndReplacesWholeFiles) {
    vi::test::TempDir dir;
    const auto file = dir / "doc.json";
    ASSERT_TRUE(writeFileAtomically(file, "first"));
    EXPECT_EQ(readWholeFile(file), "first");
    const std::string big(3'000'000, 'x');
    ASSERT_TRUE(writeFileAtomically(file, big));
    EXPECT_EQ(readWholeFile(file), big);
    ASSERT_TRUE(writeFileAtomically(file, ""));
    EXPECT_EQ(readWholeFile(file), "");
    EXPECT_EQ(entries(dir.path()), 1u) << "no temporary left behind";

    // New files get ordinary permissions (narrowed by the umask), not a temporary file's 0600.
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

    // A replaced file keeps the permissions its owner gave it.
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(file, "again"));
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(AtomicFile, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    vi::test::TempDir dir;
    const auto missing = writeFileAtomically(dir / "no-folder" / "doc.json", "x");
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error.empty());

    // A folder in the target's place cannot be replaced by a file: the rename fails.
    std::filesystem::create_directory(dir / "taken");
    std::filesystem::create_directory(dir / "taken" / "inside");
    EXPECT_FALSE(writeFileAtomically(dir / "taken", "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(ReadFile, RefusesWhatIsNotAReadableRegularFileOrTooLarge) {
    vi::test::TempDir dir;
    EXPECT_FALSE(readWholeFile(dir / "absent"));
    EXPECT_FALSE(readWholeFile(dir.path()));
    ASSERT_TRUE(writeFileAtomically(dir / "ten", "0123456789"));
    EXPECT_EQ(readWholeFile(dir / "ten", 10), "0123456789");
    EXPECT_FALSE(readWholeFile(dir / "ten", 9));
}

} // namespace
} // namespace vi::platform
