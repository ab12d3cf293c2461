#pragma once

#include "RecordCore/ActivitySample.h"
#include "RecordCore/CaptionWord.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/NRect.h"
#include "RecordCore/SourceInfo.h"
#include "RecordCore/SpeedBlock.h"
#include "RecordCore/TimeRange.h"
#include "RecordCore/ZoomBlock.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vi {

// The editable document of one recording, saved beside it as "project.json". A plain value:
// every look setting, the smart-edit switches with their caps, captions, crop, trims, cuts,
// splits and the user's own speed and zoom blocks. Field names are the JSON keys.
struct Project {
    std::string format = "16:9";
    std::optional<std::string> wallpaperPreset = std::string("orbit");
    std::optional<std::string> wallpaper;  // path of a background image chosen by the user
    std::optional<std::string> solidColor; // hexadecimal RGB
    std::string backdrop = "night";
    double backgroundBlur = 0;
    double padding = 0.08;
    double radius = 0.011;
    double shadow = 0.62;
    double cursorSize = 1.6;
    bool cursorSmooth = true;
    bool clickRipples = true; // older click-effect switch, read only by the load migration
    bool hideIdleCursor = true;
    std::string cursorStyle = "arrow";
    std::string clickEffect = "ripple";
    double clickBounce = 0.6;
    bool cameraShow = true;
    bool cameraCircle = true; // older bubble-shape switch, read only by the load migration
    double cameraSize = 0.24;
    std::string cameraCorner = "br";
    bool cameraMirror = true;
    std::string cameraShape = "circle";
    bool cameraBorder = false;
    bool cameraMakeRoom = true;
    bool showTitle = false;
    std::string title;
    std::string subtitle;
    bool showEnd = false;
    std::string endTitle = "Made with Olvenhart";
    std::string endSubtitle = "olvenhart.app";
    bool showClock = false;
    bool skipWaiting = true;
    bool followAction = true;
    double maxZoom = 1.7;
    double maxSpeed = 40;
    std::string motion = "focused";
    std::optional<std::vector<CaptionWord>> captions;
    bool showCaptions = false;
    std::string captionStyle = "highlight";
    double captionSize = 0.045;
    double captionBottom = 0.08;
    std::optional<NRect> crop;
    double trimStart = 0;
    std::optional<double> trimEnd; // none: the end of the source
    std::vector<TimeRange> cuts;   // in the order made, possibly overlapping or reversed
    std::vector<double> splits;    // in the order made
    std::optional<std::vector<SpeedBlock>> speedBlocks; // none: derived automatically
    std::optional<std::vector<ZoomBlock>> zoomBlocks;   // none: derived automatically

    // Field by field; floats compare numerically, so a NaN never equals anything.
    bool operator==(const Project&) const = default;

    // ---- the document ----

    // None when the file cannot be read as a project; never throws, never writes.
    static std::optional<Project> load(const std::filesystem::path& file);
    // The same from the file's bytes.
    static std::optional<Project> decode(std::string_view bytes);
    // Pretty-printed with sorted keys; throws DocumentError when a number is not finite.
    std::string encode() const;
    // Writes atomically; on any failure the old file stays. Returns whether it succeeded.
    bool save(const std::filesystem::path& file) const;

    // ---- edit ranges (source seconds) ----

    // The source ranges the edited video leaves out: trims and cuts, sorted and merged.
    std::vector<TimeRange> removed(double duration) const;
    // The user's cuts alone, sorted and merged.
    std::vector<TimeRange> mergedCuts() const;
    // The ranges between the trims once the cuts are taken out.
    std::vector<TimeRange> kept(double duration) const;
    // The kept ranges further divided at the splits.
    std::vector<TimeRange> pieces(double duration) const;

    struct Cropped {
        SourceInfo info;
        std::vector<ActivitySample> samples;
        std::optional<InputLog> log;
    };
    // The source facts, samples and input log re-expressed inside the crop (unchanged when no
    // crop applies).
    Cropped cropped(const SourceInfo& info, const std::vector<ActivitySample>& samples,
                    const std::optional<InputLog>& log) const;
    // Width-to-height ratio of what is shown, crop included.
    double sourceAspect(const SourceInfo& info) const;

    // Stretches this short or shorter count as empty when ranges are merged.
    static constexpr double emptyRangeLength = 1e-6;
    // Kept ranges must be longer than this to count.
    static constexpr double shortestKeptRange = 0.01;
    // A split must lie further than this inside a kept range to divide it.
    static constexpr double splitMargin = 0.02;
    // A crop side must be larger than this to be applied.
    static constexpr double smallestCropSide = 0.01;
    // The cropped picture is never narrower or lower than this many pixels.
    static constexpr int smallestCroppedPixels = 2;
};

} // namespace vi
