#include "Platform/Capture/PulseContext.h"

#include "Platform/Capture/CaptureError.h"

#include <pulse/error.h>

namespace vi::capture {

namespace {
void onContextState(pa_context*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}
} // namespace

PulseContext::PulseContext(const std::string& clientName) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) throw CaptureError("cannot make the sound server's event loop");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), clientName.c_str());
    pa_context_set_state_callback(context_, onContextState, mainloop_);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        pa_context_unref(context_);
        pa_threaded_mainloop_free(mainloop_);
        throw CaptureError("cannot start the sound server's event loop");
    }
    std::string failure;
    {
        Lock lock(*this);
        // No autospawn: a recorder must not start a sound server behind the user's back.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            failure = lastError();
        } else {
            for (;;) {
                const auto state = pa_context_get_state(context_);
                if (state == PA_CONTEXT_READY) break;
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    failure = lastError();
                    break;
                }
                pa_threaded_mainloop_wait(mainloop_);
            }
        }
    }
    if (!failure.empty()) {
        pa_threaded_mainloop_stop(mainloop_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(mainloop_);
        throw CaptureError("no sound server: " + failure);
    }
}

PulseContext::~PulseContext() {
    {
        Lock lock(*this);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_context_unref(context_);
    pa_threaded_mainloop_free(mainloop_);
}

void PulseContext::wait(pa_operation* operation) const {
    if (!operation) return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(mainloop_);
    pa_operation_unref(operation);
}

std::string PulseContext::lastError() const { return pa_strerror(pa_context_errno(context_)); }

std::string PulseContext::waitUntilReady(pa_stream* stream) const {
    for (;;) {
        const auto state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) return {};
        if (!PA_STREAM_IS_GOOD(state)) return lastError();
        pa_threaded_mainloop_wait(mainloop_);
    }
}

} // namespace vi::capture
