#pragma once

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace vi {

struct Project;

// A size in canvas pixels.
struct CanvasSize {
    double width = 0;
    double height = 0;
    friend bool operator==(const CanvasSize&, const CanvasSize&) = default;
};

// A rectangle in canvas pixels, x from the left edge and y from the top edge.
struct CanvasRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width * 0.5; }
    double midY() const { return y + height * 0.5; }
    CanvasRect scaled(double factor) const { return {x * factor, y * factor, width * factor, height * factor}; }
    friend bool operator==(const CanvasRect&, const CanvasRect&) = default;
};

// The four output canvases and where the recording's window sits on each. Stored in
// documents as its raw value ("16:9", "4:5", "9:16", "1:1").
class OutputFormat {
public:
    enum Case { youtube, x, shorts, square };

    // A new project's format.
    constexpr OutputFormat() : value_(youtube) {}
    constexpr OutputFormat(Case value) : value_(value) {} // NOLINT: a case reads as its format

    // The case whose raw value is exactly `raw` (case- and space-sensitive), or none.
    static std::optional<OutputFormat> fromRawValue(std::string_view raw);
    // youtube, x, shorts, square: declaration order, also the export order.
    static const std::array<OutputFormat, 4>& allCases();

    Case value() const { return value_; }
    std::string_view rawValue() const;
    // Display text: "YouTube", "X", "Shorts", "Square".
    std::string_view label() const;
    // Output picture size at scale 1 (1080-line exports); 4K exports multiply it by 2.
    CanvasSize canvas() const;
    CanvasSize canvas(double scale) const;
    // The band at the top kept free above the video window (0 for 16:9).
    double headerHeight() const;

    // Where the recording's window is placed, in canvas pixels at scale 1 (origin top-left).
    // 16:9 keeps the source's aspect (width over height) inside equal pixel margins of
    // padding x 1920 on every side; the other formats use a fixed window under the header.
    CanvasRect window(double sourceAspect, double padding) const;

    friend bool operator==(OutputFormat, OutputFormat) = default;

private:
    Case value_;
};

// The project's format: the case named by Project::format, 16:9 for any other text.
OutputFormat outputFormat(const Project& project);

// JSON as the raw value; an unknown raw value throws DocumentError.
void to_json(nlohmann::json& json, const OutputFormat& format);
void from_json(const nlohmann::json& json, OutputFormat& format);

} // namespace vi

template <>
struct std::hash<vi::OutputFormat> {
    std::size_t operator()(vi::OutputFormat format) const noexcept { return std::size_t(format.value()); }
};
