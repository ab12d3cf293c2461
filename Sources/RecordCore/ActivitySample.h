#pragma once

#include "RecordCore/NRect.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vi {

// One measurement of screen activity.
struct ActivitySample {
    double t = 0;      // seconds
    double energy = 0; // fraction of the grid's cells that changed, 0 to 1
    std::optional<NRect> focus; // box round the main changing area; none when nothing was kept

    bool operator==(const ActivitySample&) const = default;

    // "activity.json": a JSON array of samples in time order. Decoding and loading throw
    // DocumentError (RecordCore/JsonCoding.h) on anything that is not such an array.
    static std::vector<ActivitySample> decodeList(std::string_view bytes);
    static std::string encodeList(const std::vector<ActivitySample>& samples);
    static std::vector<ActivitySample> loadList(const std::filesystem::path& file);
    // Writes atomically; throws DocumentError when the samples cannot be encoded or written.
    static void saveList(const std::filesystem::path& file, const std::vector<ActivitySample>& samples);
};

// JSON form: {"t", "energy"} required numbers, "focus" an NRect written only when present.
void to_json(nlohmann::json& j, const ActivitySample& s);
void from_json(const nlohmann::json& j, ActivitySample& s);

} // namespace vi
