#include "RecordCore/OutputFormat.h"

#include "RecordCore/JsonCoding.h"
#include "RecordCore/Project.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>

namespace vi {

namespace {

struct FormatRow {
    std::string_view raw;
    std::string_view label;
    CanvasSize canvas;
    double header;
};

// Indexed by OutputFormat::Case.
constexpr std::array<FormatRow, 4> kFormats{{
    {"16:9", "YouTube", {1920, 1080}, 0},
    {"4:5", "X", {1080, 1350}, 150},
    {"9:16", "Shorts", {1080, 1920}, 300},
    {"1:1", "Square", {1080, 1080}, 110},
}};

// Below the window of the portrait and square formats at least this much stays free
// (room for captions), whatever the padding.
constexpr double kPortraitMinimumBottom = 40;
constexpr double kShortsBottom = 240;
constexpr double kSquareMinimumBottom = 30;
// The portrait formats' side margins are three quarters of the padding on the narrow side.
constexpr double kPortraitMarginFactor = 0.75;

const FormatRow& row(OutputFormat format) { return kFormats[std::size_t(format.value())]; }

} // namespace

std::optional<OutputFormat> OutputFormat::fromRawValue(std::string_view raw) {
    for (const OutputFormat format : allCases()) {
        if (format.rawValue() == raw) {
            return format;
        }
    }
    return std::nullopt;
}

const std::array<OutputFormat, 4>& OutputFormat::allCases() {
    static constexpr std::array<OutputFormat, 4> cases{youtube, x, shorts, square};
    return cases;
}

std::string_view OutputFormat::rawValue() const { return row(*this).raw; }
std::string_view OutputFormat::label() const { return row(*this).label; }
CanvasSize OutputFormat::canvas() const { return row(*this).canvas; }

CanvasSize OutputFormat::canvas(double scale) const {
    const CanvasSize base = canvas();
    return {base.width * scale, base.height * scale};
}

double OutputFormat::headerHeight() const { return row(*this).header; }

CanvasRect OutputFormat::window(double sourceAspect, double padding) const {
    const CanvasSize size = canvas();
    if (value_ == youtube) {
        // The same pixel margin horizontally and vertically; the source keeps its aspect and
        // is centred in what is left.
        const double margin = 2 * padding * size.width;
        const double width = std::min((size.height - margin) * sourceAspect, size.width - margin);
        const double height = width / sourceAspect;
        return {(size.width - width) / 2, (size.height - height) / 2, width, height};
    }
    const double side = padding * size.width * kPortraitMarginFactor;
    double bottom = 0;
    switch (value_) {
    case x:
        bottom = std::max(kPortraitMinimumBottom, 2 * side);
        break;
    case shorts:
        bottom = kShortsBottom;
        break;
    default:
        bottom = std::max(kSquareMinimumBottom, 2 * side);
        break;
    }
    const double top = headerHeight();
    return {side, top, size.width - 2 * side, size.height - top - bottom};
}

OutputFormat outputFormat(const Project& project) {
    return OutputFormat::fromRawValue(project.format).value_or(OutputFormat::youtube);
}

void to_json(nlohmann::json& json, const OutputFormat& format) { json = std::string(format.rawValue()); }

void from_json(const nlohmann::json& json, OutputFormat& format) {
    if (!json.is_string()) {
        throw DocumentError("an output format must be text");
    }
    const auto parsed = OutputFormat::fromRawValue(json.get_ref<const std::string&>());
    if (!parsed) {
        throw DocumentError("unknown output format \"" + json.get<std::string>() + "\"");
    }
    format = *parsed;
}

} // namespace vi
