#include "Platform/Desktop/ReadFile.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace vi::platform {

std::optional<std::string> readWholeFile(const std::filesystem::path& file, std::uintmax_t maxBytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > maxBytes) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    // The file may have grown since its size was taken.
    if (bytes.size() > maxBytes) return std::nullopt;
    return bytes;
}

} // namespace vi::platform
