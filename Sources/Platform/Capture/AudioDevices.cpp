#include "Platform/Capture/AudioDevices.h"

#include "Platform/Capture/PulseContext.h"

#include <pulse/introspect.h>

#include <mutex>

namespace vi::capture {

namespace {

// Filled on the sound server's thread. Its own lock makes the hand-over plain to race checkers, which
// cannot see inside the sound library's locking.
struct Query {
    std::mutex mutex;
    PulseContext* context = nullptr;
    std::vector<AudioSourceInfo> sources;
    std::string defaultSource;
};

void onSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    std::lock_guard lock(query->mutex);
    if (eol != 0 || !info) {
        query->context->signal();
        return;
    }
    query->sources.push_back({info->name ? info->name : "", info->description ? info->description : "",
                              info->monitor_of_sink != PA_INVALID_INDEX});
}

void onServer(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    std::lock_guard lock(query->mutex);
    if (info && info->default_source_name) query->defaultSource = info->default_source_name;
    query->context->signal();
}

} // namespace

AudioSources listAudioSources() {
    Query query; // made before the server's thread starts, so that thread sees it whole
    PulseContext context("vi-devices");
    {
        std::lock_guard lock(query.mutex);
        query.context = &context;
    }
    {
        PulseContext::Lock lock(context);
        context.wait(pa_context_get_source_info_list(context.get(), onSource, &query));
        context.wait(pa_context_get_server_info(context.get(), onServer, &query));
    }
    std::lock_guard lock(query.mutex);
    AudioSources result;
    for (auto& source : query.sources) {
        if (source.isMonitor) continue;
        if (source.id == query.defaultSource) result.defaultMicrophone = source.id;
        result.microphones.push_back(std::move(source));
    }
    return result;
}

} // namespace vi::capture
