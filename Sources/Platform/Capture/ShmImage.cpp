#include "Platform/Capture/ShmImage.h"

#include "Platform/Capture/CaptureError.h"
#include "Platform/Capture/XConnection.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>

namespace vi::capture {

namespace {
constexpr int bytesPerPixel = 4;
constexpr std::uint32_t allPlanes = ~0u;
} // namespace

bool ShmImage::available(XConnection& connection) {
    const auto* extension = xcb_get_extension_data(connection.get(), &xcb_shm_id);
    return extension && extension->present;
}

ShmImage::ShmImage(std::shared_ptr<XConnection> connection, int width, int height)
    : connection_(std::move(connection)), width_(width), height_(height) {
    if (width <= 0 || height <= 0) throw CaptureError("an image needs a positive size");
    if (!available(*connection_)) throw CaptureError("the X server has no MIT-SHM extension");
    const auto bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * bytesPerPixel;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) throw CaptureError(std::string("shared memory: ") + std::strerror(errno));
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        throw CaptureError(std::string("shared memory: ") + std::strerror(errno));
    }
    data_ = static_cast<std::uint8_t*>(address);
    segment_ = xcb_generate_id(connection_->get());
    auto cookie = xcb_shm_attach_checked(connection_->get(), segment_, static_cast<std::uint32_t>(id), 0);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_->get(), cookie));
    // Once both sides are attached the segment can be marked for removal: it then disappears
    // with the last detach, even when the process is killed.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(data_);
        data_ = nullptr;
        throw CaptureError("the X server cannot attach shared memory (a remote display?)");
    }
}

ShmImage::~ShmImage() {
    if (!data_) return;
    xcb_shm_detach(connection_->get(), segment_);
    xcb_flush(connection_->get());
    shmdt(data_);
}

bool ShmImage::grab(xcb_drawable_t drawable, const PixelRect& rect) {
    if (rect.empty() || rect.width > width_ || rect.height > height_) return false;
    auto cookie = xcb_shm_get_image(connection_->get(), drawable, static_cast<std::int16_t>(rect.x),
                                    static_cast<std::int16_t>(rect.y), static_cast<std::uint16_t>(rect.width),
                                    static_cast<std::uint16_t>(rect.height), allPlanes,
                                    XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0);
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(connection_->get(), cookie, nullptr));
    if (!reply) return false;
    lastDepth_ = reply->depth;
    return true;
}

} // namespace vi::capture
