#pragma once

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <string>

namespace vi::capture {

// A connection to the sound server with its own event thread. Callbacks of streams and queries made
// on `get()` run on that thread; everything else that touches the context holds `Lock`.
class PulseContext {
public:
    // Connects (the server of $PULSE_SERVER or the user's). Throws CaptureError when none answers.
    explicit PulseContext(const std::string& clientName);
    ~PulseContext();
    PulseContext(const PulseContext&) = delete;
    PulseContext& operator=(const PulseContext&) = delete;

    pa_context* get() const { return context_; }
    pa_threaded_mainloop* mainloop() const { return mainloop_; }

    // Holds the event thread off while in scope (not to be used on the event thread itself).
    class Lock {
    public:
        explicit Lock(const PulseContext& context) : mainloop_(context.mainloop_) { pa_threaded_mainloop_lock(mainloop_); }
        ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    // Waits (lock held) until `operation` is done, then releases it. Callbacks wake the waiter with
    // `signal()`.
    void wait(pa_operation* operation) const;
    void signal() const { pa_threaded_mainloop_signal(mainloop_, 0); }
    std::string lastError() const;
    // Waits, with the main loop locked, until a just-connected stream is ready. Returns the
    // server's reason when the stream failed instead, or an empty text.
    std::string waitUntilReady(pa_stream* stream) const;

private:
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

} // namespace vi::capture
