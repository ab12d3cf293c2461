#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vi::platform {

// Files larger than this are refused rather than read into memory: no document of ours comes
// near it (an hour's input log is about 15 MB), so a larger one is damaged or not ours.
inline constexpr std::uintmax_t maxDocumentBytes = 1ULL << 30;

// The whole content of a regular file; none when it cannot be read or is larger than `maxBytes`.
std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::uintmax_t maxBytes = maxDocumentBytes);

} // namespace vi::platform
