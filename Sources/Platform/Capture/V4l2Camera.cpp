#include "Platform/Capture/V4l2Camera.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/HostClock.h"

#include <linux/videodev2.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vi::capture {

namespace {

constexpr int preferredWidth = 1280;
constexpr int preferredHeight = 720;
// Enough buffers that the driver always has one to fill while we hand another over.
constexpr unsigned bufferCount = 4;

int xioctl(int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool capturesVideo(const v4l2_capability& capability) {
    const auto caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

} // namespace

std::vector<V4l2Camera::Device> V4l2Camera::list() {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        const auto name = entry.path().filename().string();
        if (name.rfind("video", 0) == 0) paths.push_back(entry.path().string());
    }
    // /dev/video2 before /dev/video10.
    std::sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<Device> devices;
    for (const auto& path : paths) {
        const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        v4l2_capability capability{};
        if (xioctl(fd, VIDIOC_QUERYCAP, &capability) == 0 && capturesVideo(capability)) {
            devices.push_back({path, reinterpret_cast<const char*>(capability.card)});
        }
        close(fd);
    }
    return devices;
}

std::unique_ptr<V4l2Camera> V4l2Camera::openDefault() {
    auto devices = list();
    if (devices.empty()) return nullptr;
    return std::make_unique<V4l2Camera>(devices.front());
}

V4l2Camera::V4l2Camera(Device device) : device_(std::move(device)) {}

V4l2Camera::~V4l2Camera() { stop(); }

void V4l2Camera::configure() {
    v4l2_capability capability{};
    if (xioctl(fd_, VIDIOC_QUERYCAP, &capability) < 0 || !capturesVideo(capability)) {
        throw CaptureError(device_.path + " is not a camera");
    }
    for (auto pixelFormat : {V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUYV}) {
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = preferredWidth;
        format.fmt.pix.height = preferredHeight;
        format.fmt.pix.pixelformat = pixelFormat;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        if (xioctl(fd_, VIDIOC_S_FMT, &format) < 0) {
            if (errno == EBUSY) throw CaptureError("camera busy");
            continue;
        }
        if (format.fmt.pix.pixelformat != pixelFormat) continue; // the driver offered another one
        format_ = pixelFormat == V4L2_PIX_FMT_NV12 ? CameraFrame::Format::nv12 : CameraFrame::Format::yuyv;
        width_ = static_cast<int>(format.fmt.pix.width);
        height_ = static_cast<int>(format.fmt.pix.height);
        stride_ = static_cast<int>(format.fmt.pix.bytesperline);
        if (stride_ == 0) stride_ = format_ == CameraFrame::Format::yuyv ? width_ * 2 : width_;
        return;
    }
    throw CaptureError("camera output");
}

void V4l2Camera::start(Delegate delegate) {
    if (thread_.joinable()) return;
    fd_ = open(device_.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw CaptureError(errno == EBUSY ? std::string("camera busy") : systemError(device_.path));
    try {
        configure();
        v4l2_requestbuffers request{};
        request.count = bufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd_, VIDIOC_REQBUFS, &request) < 0) {
            throw CaptureError(errno == EBUSY ? std::string("camera busy") : systemError("camera buffers"));
        }
        for (unsigned i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) throw CaptureError(systemError("camera buffer"));
            void* start = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
            if (start == MAP_FAILED) throw CaptureError(systemError("camera buffer"));
            buffers_.push_back({start, buffer.length});
            if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0) throw CaptureError(systemError("camera buffer"));
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd_, VIDIOC_STREAMON, &type) < 0) {
            throw CaptureError(errno == EBUSY ? std::string("camera busy") : systemError("camera start"));
        }
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    } catch (...) {
        release();
        throw;
    }
    delegate_ = std::move(delegate);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void V4l2Camera::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    release();
}

void V4l2Camera::release() {
    if (fd_ >= 0) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
    }
    for (auto& buffer : buffers_) munmap(buffer.start, buffer.length);
    buffers_.clear();
    if (fd_ >= 0) close(fd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    fd_ = -1;
    wakeFd_ = -1;
}

void V4l2Camera::run() {
    pthread_setname_np(pthread_self(), "vi.camera");
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (!stopping_) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (stopping_) break;
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            if (delegate_.onError) delegate_.onError("the camera stopped");
            return;
        }
        if (!(fds[0].revents & POLLIN)) continue;
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
            if (errno == EAGAIN) continue;
            if (delegate_.onError) delegate_.onError(systemError("the camera stopped"));
            return;
        }
        // Kernel stamps on the monotonic clock are the host clock; others are replaced by our own.
        const bool monotonic = (buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
        CameraFrame frame;
        frame.format = format_;
        frame.width = width_;
        frame.height = height_;
        frame.time = monotonic ? static_cast<double>(buffer.timestamp.tv_sec) + buffer.timestamp.tv_usec * 1e-6
                               : HostClock::now();
        const auto* data = static_cast<const std::uint8_t*>(buffers_[buffer.index].start);
        frame.planes[0] = data;
        frame.strides[0] = stride_;
        if (format_ == CameraFrame::Format::nv12) {
            frame.planes[1] = data + static_cast<std::ptrdiff_t>(stride_) * height_;
            frame.strides[1] = stride_;
        }
        const bool damaged = buffer.flags & V4L2_BUF_FLAG_ERROR;
        if (!damaged && delegate_.onFrame) delegate_.onFrame(frame);
        xioctl(fd_, VIDIOC_QBUF, &buffer);
    }
}

} // namespace vi::capture
