#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Strict reading and writing of the recording's JSON documents, which are treated as hostile:
// every failure is a DocumentError with a clear message, never a crash.
namespace vi {

class DocumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace coding {

// Documents nested deeper than this are refused before parsing; ours need a handful of levels.
inline constexpr int maxNestingDepth = 64;

// Parses one JSON document (UTF-8, at most `maxNestingDepth` levels deep).
nlohmann::json parse(std::string_view bytes);

// Members of an object, by key. A "required" member that is missing or of another type throws;
// an optional one that is missing or null gives none. Numbers must be finite.
const nlohmann::json& object(const nlohmann::json& j, const char* what);
const nlohmann::json& array(const nlohmann::json& j, const char* key);
double number(const nlohmann::json& j, const char* key);
std::optional<double> optionalNumber(const nlohmann::json& j, const char* key);
int wholeNumber(const nlohmann::json& j, const char* key);
bool boolean(const nlohmann::json& j, const char* key);
std::optional<bool> optionalBoolean(const nlohmann::json& j, const char* key);
std::string text(const nlohmann::json& j, const char* key);
std::optional<std::string> optionalText(const nlohmann::json& j, const char* key);
// Whether the member is present with a non-null value.
bool present(const nlohmann::json& j, const char* key);

// A JSON number for a value that must be finite; throws DocumentError naming `key` otherwise.
double finite(double value, const char* key);
// Appends the shortest text that reads back as exactly `value`, for documents written without a
// tree; throws DocumentError naming `key` when the value is not finite.
void appendNumber(std::string& out, double value, const char* key);

} // namespace coding
} // namespace vi
