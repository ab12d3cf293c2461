#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vi::platform {

// The outcome of a write: success, or a short text of the step that failed.
struct WriteResult {
    bool ok = false;
    std::string error;
    explicit operator bool() const { return ok; }
};

// Replaces `file` with `bytes` so that a reader never sees half a file: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary is renamed over the
// target. On any failure the temporary is removed and the old file is left as it was.
WriteResult writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

} // namespace vi::platform
