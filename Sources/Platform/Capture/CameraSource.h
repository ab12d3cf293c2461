#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vi::capture {

// One picture of a camera, valid only during the callback that hands it over.
struct CameraFrame {
    enum class Format {
        nv12, // plane 0: luma, plane 1: interleaved Cb Cr at half size (video range)
        yuyv, // plane 0: Y0 Cb Y1 Cr for each pair of pixels (video range)
    };
    Format format = Format::nv12;
    int width = 0;
    int height = 0;
    const std::uint8_t* planes[2] = {nullptr, nullptr};
    int strides[2] = {0, 0};
    double time = 0; // host clock: when the picture was taken
};

// A camera that delivers frames on a thread of its own. The recorder sees only this interface, so
// tests can feed it frames of their own.
class CameraSource {
public:
    struct Delegate {
        std::function<void(const CameraFrame&)> onFrame;
        // The camera stopped delivering (unplugged, taken away); no further frames come.
        std::function<void(const std::string& reason)> onError;
    };

    virtual ~CameraSource() = default;
    // Starts delivery. Throws CaptureError with "camera busy" when another program holds the camera,
    // "camera output" when it offers no picture format we can record, or the system's own words.
    virtual void start(Delegate delegate) = 0;
    // Stops delivery; after it returns no callback runs. Idempotent.
    virtual void stop() = 0;
    // What a person calls the camera.
    virtual std::string name() const = 0;
};

} // namespace vi::capture
