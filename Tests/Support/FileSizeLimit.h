#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace vi::test {

// Makes every write of this process beyond `bytes` into any file fail with EFBIG (instead of
// killing the process with SIGXFSZ), as a full disk would fail a writer midway; undone when it
// goes out of scope. Only for a test whose own writes are the only ones while it lasts.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previousLimit_);
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previousLimit_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previousLimit_);
        signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previousLimit_{};
    sighandler_t previousHandler_ = SIG_DFL;
};

} // namespace vi::test
