#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>

namespace vi::coding {
namespace {

using nlohmann::json;

// Finds how deeply arrays and objects nest, skipping string contents, without building anything.
// Stops early once the limit is passed.
bool nestsTooDeep(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"': inString = true; break;
        case '[':
        case '{':
            if (++depth > maxNestingDepth) return true;
            break;
        case ']':
        case '}': --depth; break;
        default: break;
        }
    }
    return false;
}

std::string quoted(const char* key) { return std::string("\"") + key + "\""; }

const json* member(const json& j, const char* key) {
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

const json& required(const json& j, const char* key) {
    const json* value = member(j, key);
    if (!value) throw DocumentError("missing member " + quoted(key));
    return *value;
}

double numberValue(const json& value, const char* key) {
    if (!value.is_number()) throw DocumentError("member " + quoted(key) + " is not a number");
    const double d = value.get<double>();
    if (!std::isfinite(d)) throw DocumentError("member " + quoted(key) + " is not a finite number");
    return d;
}

bool booleanValue(const json& value, const char* key) {
    if (!value.is_boolean()) throw DocumentError("member " + quoted(key) + " is not true or false");
    return value.get<bool>();
}

std::string textValue(const json& value, const char* key) {
    if (!value.is_string()) throw DocumentError("member " + quoted(key) + " is not a string");
    return value.get<std::string>();
}

} // namespace

json parse(std::string_view bytes) {
    if (nestsTooDeep(bytes)) {
        throw DocumentError("the document nests deeper than " + std::to_string(maxNestingDepth) + " levels");
    }
    try {
        return json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& e) {
        throw DocumentError(std::string("not valid JSON: ") + e.what());
    }
}

const json& object(const json& j, const char* what) {
    if (!j.is_object()) throw DocumentError(std::string(what) + " is not a JSON object");
    return j;
}

const json& array(const json& j, const char* key) {
    const json& value = required(j, key);
    if (!value.is_array()) throw DocumentError("member " + quoted(key) + " is not an array");
    return value;
}

double number(const json& j, const char* key) { return numberValue(required(j, key), key); }

std::optional<double> optionalNumber(const json& j, const char* key) {
    if (!present(j, key)) return std::nullopt;
    return numberValue(j[key], key);
}

int wholeNumber(const json& j, const char* key) {
    const json& value = required(j, key);
    if (value.is_number_integer()) {
        // Signed and unsigned integers alike; compare before converting so nothing overflows.
        if (value.is_number_unsigned()) {
            const auto u = value.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return static_cast<int>(u);
        } else {
            const auto i = value.get<std::int64_t>();
            if (i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max()) {
                return static_cast<int>(i);
            }
        }
        throw DocumentError("member " + quoted(key) + " is out of range");
    }
    const double d = numberValue(value, key);
    if (d != std::trunc(d)) throw DocumentError("member " + quoted(key) + " is not a whole number");
    if (d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max()) {
        throw DocumentError("member " + quoted(key) + " is out of range");
    }
    return static_cast<int>(d);
}

bool boolean(const json& j, const char* key) { return booleanValue(required(j, key), key); }

std::optional<bool> optionalBoolean(const json& j, const char* key) {
    if (!present(j, key)) return std::nullopt;
    return booleanValue(j[key], key);
}

std::string text(const json& j, const char* key) { return textValue(required(j, key), key); }

std::optional<std::string> optionalText(const json& j, const char* key) {
    if (!present(j, key)) return std::nullopt;
    return textValue(j[key], key);
}

bool present(const json& j, const char* key) {
    const json* value = member(j, key);
    return value && !value->is_null();
}

double finite(double value, const char* key) {
    if (!std::isfinite(value)) throw DocumentError("cannot write the non-finite number in " + quoted(key));
    return value;
}

void appendNumber(std::string& out, double value, const char* key) {
    // Enough for the longest shortest form of a double ("-2.2250738585072014e-308").
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, finite(value, key));
    if (error != std::errc()) throw DocumentError("cannot write the number in " + quoted(key));
    out.append(buffer, end);
}

} // namespace vi::coding
