// Feeds arbitrary bytes to the three document loaders. Besides crashes and undefined behaviour
// (caught by the sanitizers), it checks that whatever loads also survives a save and reload
// unchanged.
#include "RecordCore/ActivitySample.h"
#include "RecordCore/InputLog.h"
#include "RecordCore/JsonCoding.h"
#include "RecordCore/Project.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void expect(bool condition) {
    if (!condition) std::abort();
}

void project(std::string_view bytes) {
    const auto p = vi::Project::decode(bytes);
    if (!p) return;
    const auto again = vi::Project::decode(p->encode());
    expect(again && *again == *p);
}

void inputLog(std::string_view bytes) {
    try {
        const vi::InputLog log = vi::InputLog::decode(bytes);
        expect(vi::InputLog::decode(log.encode()) == log);
        log.userActive(0, 1, 0.004);
    } catch (const vi::DocumentError&) {
    }
}

void activity(std::string_view bytes) {
    try {
        const auto samples = vi::ActivitySample::decodeList(bytes);
        expect(vi::ActivitySample::decodeList(vi::ActivitySample::encodeList(samples)) == samples);
    } catch (const vi::DocumentError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    project(bytes);
    inputLog(bytes);
    activity(bytes);
    return 0;
}
