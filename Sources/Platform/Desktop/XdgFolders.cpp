#include "Platform/Desktop/XdgFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace vi::platform {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return home;
    }
    // Without $HOME, the password database still knows the user's home.
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return std::filesystem::temp_directory_path();
}

// The rules ignore relative paths in these variables.
std::filesystem::path baseFolder(const char* variable, const std::filesystem::path& fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') {
        return value;
    }
    return homeFolder() / fallbackUnderHome;
}

} // namespace

std::filesystem::path xdgDataHome() { return baseFolder("XDG_DATA_HOME", ".local/share"); }

} // namespace vi::platform
