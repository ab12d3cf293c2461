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
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return std::nullopt;
    // The file may have shrunk or grown since its size was taken: keep what was there, and
    // refuse it when there is more than the limit.
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in && in.peek() != std::char_traits<char>::eof()) {
        const std::string rest{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (bytes.size() + rest.size() > maxBytes) return std::nullopt;
        bytes += rest;
    }
    return bytes;
}

} // namespace vi::platform
