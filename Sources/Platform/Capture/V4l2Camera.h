#pragma once

#include "Platform/Capture/CameraSource.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vi::capture {

// A video capture device of the kernel (a webcam), read with memory-mapped streaming on the thread
// "vi.camera". Asks for 1280x720 and takes what the device offers nearest to it, in NV12 or YUYV.
class V4l2Camera final : public CameraSource {
public:
    struct Device {
        std::string path; // e.g. /dev/video0
        std::string name; // the driver's card name
    };

    // The devices that capture video, in the order of their paths; the first is the default camera.
    static std::vector<Device> list();
    // The default camera, or nullptr when the computer has none.
    static std::unique_ptr<V4l2Camera> openDefault();

    explicit V4l2Camera(Device device);
    ~V4l2Camera() override;

    void start(Delegate delegate) override;
    void stop() override;
    std::string name() const override { return device_.name; }

private:
    struct Buffer {
        void* start = nullptr;
        std::size_t length = 0;
    };

    void configure();
    void run();
    void release();

    Device device_;
    int fd_ = -1;
    int wakeFd_ = -1;
    CameraFrame::Format format_ = CameraFrame::Format::nv12;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<Buffer> buffers_;
    Delegate delegate_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace vi::capture
