#include "Platform/Desktop/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vi::platform {
namespace {

// New files get the usual document permissions; the kernel narrows them by the process umask.
constexpr mode_t documentMode = 0666;
// Attempts at finding an unused temporary name before giving up.
constexpr int temporaryNameAttempts = 16;

std::string failure(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a rename durable: the folder's entry must reach the disk too.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

WriteResult writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path folder = file.parent_path();
    // A hidden name in the same folder (so the rename stays on one file system), unique per
    // attempt so that concurrent writers never share a temporary.
    thread_local std::mt19937 engine{std::random_device{}()};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < temporaryNameAttempts && fd < 0; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(engine()));
        std::string name = file.filename().string();
        name.insert(0, 1, '.');
        name += suffix;
        temp = (folder / name).string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, documentMode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return {false, failure("create a temporary file")};

    std::string error;
    // A replaced file keeps its permissions; a new one has the ordinary ones.
    struct stat existing {};
    if (::stat(file.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        error = failure("keep permissions");
    } else if (!writeAll(fd, bytes)) {
        error = failure("write");
    } else if (::fsync(fd) != 0) {
        error = failure("flush to disk");
    }
    if (::close(fd) != 0 && error.empty()) error = failure("close");
    if (error.empty() && ::rename(temp.c_str(), file.c_str()) != 0) error = failure("rename into place");
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return {false, error};
    }
    syncFolder(folder);
    return {true, {}};
}

} // namespace vi::platform
