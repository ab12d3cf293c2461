#include "RecordCore/ActivitySample.h"

#include "Platform/Desktop/AtomicFile.h"
#include "Platform/Desktop/ReadFile.h"
#include "RecordCore/JsonCoding.h"

#include <nlohmann/json.hpp>

namespace vi {

void to_json(nlohmann::json& j, const ActivitySample& s) {
    j = nlohmann::json{{"t", coding::finite(s.t, "t")}, {"energy", coding::finite(s.energy, "energy")}};
    if (s.focus) j["focus"] = *s.focus;
}

void from_json(const nlohmann::json& j, ActivitySample& s) {
    coding::object(j, "an activity sample");
    s.t = coding::number(j, "t");
    s.energy = coding::number(j, "energy");
    s.focus.reset();
    if (coding::present(j, "focus")) s.focus = j["focus"].get<NRect>();
}

std::vector<ActivitySample> ActivitySample::decodeList(std::string_view bytes) {
    const nlohmann::json document = coding::parse(bytes);
    if (!document.is_array()) throw DocumentError("the activity document is not a JSON array");
    std::vector<ActivitySample> samples;
    samples.reserve(document.size());
    for (const auto& element : document) samples.push_back(element.get<ActivitySample>());
    return samples;
}

std::string ActivitySample::encodeList(const std::vector<ActivitySample>& samples) {
    return nlohmann::json(samples).dump();
}

std::vector<ActivitySample> ActivitySample::loadList(const std::filesystem::path& file) {
    const auto bytes = platform::readWholeFile(file);
    if (!bytes) throw DocumentError("cannot read " + file.string());
    return decodeList(*bytes);
}

void ActivitySample::saveList(const std::filesystem::path& file, const std::vector<ActivitySample>& samples) {
    const std::string bytes = encodeList(samples);
    if (const auto written = platform::writeFileAtomically(file, bytes); !written) {
        throw DocumentError("cannot write " + file.string() + ": " + written.error);
    }
}

} // namespace vi
