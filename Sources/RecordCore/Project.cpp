#include "RecordCore/Project.h"

#include "Platform/Desktop/AtomicFile.h"
#include "Platform/Desktop/ReadFile.h"
#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {
namespace {

using nlohmann::json;

// Width of one indentation step in the saved file, for people who read it.
constexpr int prettyIndent = 2;

json encodeProject(const Project& p) {
    using coding::finite;
    json j{
        {"format", p.format},
        {"backdrop", p.backdrop},
        {"backgroundBlur", finite(p.backgroundBlur, "backgroundBlur")},
        {"padding", finite(p.padding, "padding")},
        {"radius", finite(p.radius, "radius")},
        {"shadow", finite(p.shadow, "shadow")},
        {"cursorSize", finite(p.cursorSize, "cursorSize")},
        {"cursorSmooth", p.cursorSmooth},
        {"clickRipples", p.clickRipples},
        {"hideIdleCursor", p.hideIdleCursor},
        {"cursorStyle", p.cursorStyle},
        {"clickEffect", p.clickEffect},
        {"clickBounce", finite(p.clickBounce, "clickBounce")},
        {"cameraShow", p.cameraShow},
        {"cameraCircle", p.cameraCircle},
        {"cameraSize", finite(p.cameraSize, "cameraSize")},
        {"cameraCorner", p.cameraCorner},
        {"cameraMirror", p.cameraMirror},
        {"cameraShape", p.cameraShape},
        {"cameraBorder", p.cameraBorder},
        {"cameraMakeRoom", p.cameraMakeRoom},
        {"showTitle", p.showTitle},
        {"title", p.title},
        {"subtitle", p.subtitle},
        {"showEnd", p.showEnd},
        {"endTitle", p.endTitle},
        {"endSubtitle", p.endSubtitle},
        {"showClock", p.showClock},
        {"skipWaiting", p.skipWaiting},
        {"followAction", p.followAction},
        {"maxZoom", finite(p.maxZoom, "maxZoom")},
        {"maxSpeed", finite(p.maxSpeed, "maxSpeed")},
        {"motion", p.motion},
        {"showCaptions", p.showCaptions},
        {"captionStyle", p.captionStyle},
        {"captionSize", finite(p.captionSize, "captionSize")},
        {"captionBottom", finite(p.captionBottom, "captionBottom")},
        {"trimStart", finite(p.trimStart, "trimStart")},
        {"cuts", p.cuts},
    };
    json splits = json::array();
    for (const double s : p.splits) splits.push_back(finite(s, "splits"));
    j["splits"] = std::move(splits);

    // A cleared preset is written as null, which loading reads as none: leaving the key out would
    // bring the default wallpaper back over a colour or gradient background on reopening.
    j["wallpaperPreset"] = p.wallpaperPreset ? json(*p.wallpaperPreset) : json(nullptr);
    // Every other optional is written only when present.
    if (p.wallpaper) j["wallpaper"] = *p.wallpaper;
    if (p.solidColor) j["solidColor"] = *p.solidColor;
    if (p.captions) j["captions"] = *p.captions;
    if (p.crop) j["crop"] = *p.crop;
    if (p.trimEnd) j["trimEnd"] = finite(*p.trimEnd, "trimEnd");
    if (p.speedBlocks) {
        json blocks = json::array();
        for (const SpeedBlock& b : *p.speedBlocks) blocks.push_back(b);
        j["speedBlocks"] = std::move(blocks);
    }
    if (p.zoomBlocks) {
        json blocks = json::array();
        for (const ZoomBlock& b : *p.zoomBlocks) blocks.push_back(b);
        j["zoomBlocks"] = std::move(blocks);
    }
    return j;
}

template <typename T, typename Decode>
std::vector<T> listOf(const json& j, const char* key, Decode decode) {
    std::vector<T> items;
    const json& list = coding::array(j, key);
    items.reserve(list.size());
    for (const json& item : list) items.push_back(decode(item));
    return items;
}

template <typename T, typename Decode>
std::optional<std::vector<T>> optionalListOf(const json& j, const char* key, Decode decode) {
    if (!coding::present(j, key)) return std::nullopt;
    return listOf<T>(j, key, decode);
}

// Decodes the merged object: every non-optional key must be there with a value of its type.
Project decodeProject(const json& j) {
    using namespace coding;
    Project p;
    p.format = text(j, "format");
    p.wallpaperPreset = optionalText(j, "wallpaperPreset");
    p.wallpaper = optionalText(j, "wallpaper");
    p.solidColor = optionalText(j, "solidColor");
    p.backdrop = text(j, "backdrop");
    p.backgroundBlur = number(j, "backgroundBlur");
    p.padding = number(j, "padding");
    p.radius = number(j, "radius");
    p.shadow = number(j, "shadow");
    p.cursorSize = number(j, "cursorSize");
    p.cursorSmooth = boolean(j, "cursorSmooth");
    p.clickRipples = boolean(j, "clickRipples");
    p.hideIdleCursor = boolean(j, "hideIdleCursor");
    p.cursorStyle = text(j, "cursorStyle");
    p.clickEffect = text(j, "clickEffect");
    p.clickBounce = number(j, "clickBounce");
    p.cameraShow = boolean(j, "cameraShow");
    p.cameraCircle = boolean(j, "cameraCircle");
    p.cameraSize = number(j, "cameraSize");
    p.cameraCorner = text(j, "cameraCorner");
    p.cameraMirror = boolean(j, "cameraMirror");
    p.cameraShape = text(j, "cameraShape");
    p.cameraBorder = boolean(j, "cameraBorder");
    p.cameraMakeRoom = boolean(j, "cameraMakeRoom");
    p.showTitle = boolean(j, "showTitle");
    p.title = text(j, "title");
    p.subtitle = text(j, "subtitle");
    p.showEnd = boolean(j, "showEnd");
    p.endTitle = text(j, "endTitle");
    p.endSubtitle = text(j, "endSubtitle");
    p.showClock = boolean(j, "showClock");
    p.skipWaiting = boolean(j, "skipWaiting");
    p.followAction = boolean(j, "followAction");
    p.maxZoom = number(j, "maxZoom");
    p.maxSpeed = number(j, "maxSpeed");
    p.motion = text(j, "motion");
    p.captions = optionalListOf<CaptionWord>(j, "captions", [](const json& w) { return w.get<CaptionWord>(); });
    p.showCaptions = boolean(j, "showCaptions");
    p.captionStyle = text(j, "captionStyle");
    p.captionSize = number(j, "captionSize");
    p.captionBottom = number(j, "captionBottom");
    if (present(j, "crop")) p.crop = j["crop"].get<NRect>();
    p.trimStart = number(j, "trimStart");
    p.trimEnd = optionalNumber(j, "trimEnd");
    p.cuts = listOf<TimeRange>(j, "cuts", [](const json& r) { return r.get<TimeRange>(); });
    p.splits = listOf<double>(j, "splits", [](const json& s) {
        if (!s.is_number()) throw DocumentError("member \"splits\" holds something other than numbers");
        return coding::finite(s.get<double>(), "splits");
    });
    p.speedBlocks = optionalListOf<SpeedBlock>(j, "speedBlocks", speedBlockFromJson);
    p.zoomBlocks = optionalListOf<ZoomBlock>(j, "zoomBlocks", zoomBlockFromJson);
    return p;
}

// Whether the file's own object holds `key` with the value false.
bool holdsFalse(const json& file, const char* key) {
    const auto it = file.find(key);
    return it != file.end() && it->is_boolean() && !it->get<bool>();
}

// Older files describe the bubble shape and the click effect with switches; newer keys win.
void migrate(const json& file, Project& p) {
    if (!file.contains("cameraShape") && holdsFalse(file, "cameraCircle")) p.cameraShape = "rounded";
    if (!file.contains("clickEffect") && holdsFalse(file, "clickRipples")) p.clickEffect = "none";
}

} // namespace

std::optional<Project> Project::decode(std::string_view bytes) {
    try {
        const json file = coding::parse(bytes);
        if (!file.is_object()) return std::nullopt;
        // Missing keys take the defaults of a new project; the file's value wins, null included.
        json merged = encodeProject(Project());
        for (const auto& [key, value] : file.items()) merged[key] = value;
        Project p = decodeProject(merged);
        migrate(file, p);
        return p;
    } catch (const std::exception&) {
        // Any failure (bad JSON, a wrong type, a missing record member) means "not a project".
        return std::nullopt;
    }
}

std::optional<Project> Project::load(const std::filesystem::path& file) {
    try {
        const auto bytes = platform::readWholeFile(file);
        if (!bytes) return std::nullopt;
        return decode(*bytes);
    } catch (const std::exception&) {
        return std::nullopt; // out of memory for a huge file: still "not a project"
    }
}

std::string Project::encode() const { return encodeProject(*this).dump(prettyIndent); }

bool Project::save(const std::filesystem::path& file) const {
    try {
        // A non-finite number makes encoding throw, so nothing is written.
        return static_cast<bool>(platform::writeFileAtomically(file, encode()));
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace vi
