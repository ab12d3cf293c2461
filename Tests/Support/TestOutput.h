#pragma once

#include <filesystem>

namespace vi::test {

// The folder where tests leave pictures for a person to look at (created on first use).
std::filesystem::path outputDirectory();

// A fresh, empty folder for one test's files, removed by the caller's TempDir.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace vi::test
