#include "RecordCore/PreviewRenderer.h"

#include "Platform/Media/ColorConverter.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vi {

namespace {

// The pixels of a frame as an image, sharing them: the image keeps the frame alive.
raster::Image imageOf(const media::PixelBuffer& frame) {
    auto owner = std::make_shared<media::PixelBuffer>(frame);
    return raster::Image(owner, owner->data(0), owner->width(), owner->height(), owner->stride(0));
}

void runOnGuiThread(std::function<void()> call) {
    auto* application = QCoreApplication::instance();
    if (!application) {
        call();
        return;
    }
    QMetaObject::invokeMethod(application, std::move(call), Qt::QueuedConnection);
}

// Puts the canvas into the destination: as is when the sizes match, otherwise scaled by the
// smaller of the two ratios and centred, with clear pixels around it.
void place(const raster::Bitmap& canvas, const media::PixelBuffer& destination) {
    const int w = destination.width();
    const int h = destination.height();
    uint8_t* out = destination.data(0);
    const int stride = destination.stride(0);
    if (canvas.width() == w && canvas.height() == h) {
        for (int y = 0; y < h; ++y) std::memcpy(out + y * stride, canvas.row(y), size_t(w) * 4);
        return;
    }
    const double scale = std::min(double(w) / canvas.width(), double(h) / canvas.height());
    const int fittedW = std::clamp(int(std::lround(canvas.width() * scale)), 1, w);
    const int fittedH = std::clamp(int(std::lround(canvas.height() * scale)), 1, h);
    const int left = (w - fittedW) / 2;
    const int top = (h - fittedH) / 2;
    for (int y = 0; y < h; ++y) std::memset(out + y * stride, 0, size_t(w) * 4);
    const auto from = media::ImageView::bgra(canvas.row(0), canvas.width(), canvas.height(), int(canvas.stride()));
    const auto to = media::ImageView::bgra(out + top * stride + left * 4, fittedW, fittedH, stride);
    thread_local media::ColorConverter converter;
    converter.convert(from, to, media::ColorMatrix::bt709, media::ColorRange::full);
}

} // namespace

PreviewRenderer::PreviewRenderer(std::shared_ptr<const Scene> scene, std::shared_ptr<const Compositor> compositor)
    : scene_(std::move(scene)), compositor_(std::move(compositor)) {}

void PreviewRenderer::update(std::shared_ptr<const Scene> scene, std::shared_ptr<const Compositor> compositor) {
    std::lock_guard guard(lock_);
    scene_ = std::move(scene);
    compositor_ = std::move(compositor);
}

void PreviewRenderer::onNextFrame(std::function<void()> callback) {
    std::lock_guard guard(lock_);
    nextFrame_ = std::move(callback);
}

std::shared_ptr<const Scene> PreviewRenderer::scene() const {
    std::lock_guard guard(lock_);
    return scene_;
}

std::shared_ptr<const Compositor> PreviewRenderer::compositor() const {
    std::lock_guard guard(lock_);
    return compositor_;
}

void PreviewRenderer::render(const media::PixelBuffer& source, const media::PixelBuffer* camera, double seconds,
                             const media::PixelBuffer& destination) const {
    std::shared_ptr<const Scene> scene;
    std::shared_ptr<const Compositor> compositor;
    std::function<void()> callback;
    {
        std::lock_guard guard(lock_);
        scene = scene_;
        compositor = compositor_;
        callback = std::move(nextFrame_);
        nextFrame_ = {};
    }
    const raster::Image sourceImage = imageOf(source);
    const raster::Image cameraImage = camera ? imageOf(*camera) : raster::Image();
    thread_local raster::Bitmap canvas;
    compositor->frame(sourceImage, scene->state(seconds), camera ? &cameraImage : nullptr, canvas);
    place(canvas, destination);
    if (callback) runOnGuiThread(std::move(callback));
}

} // namespace vi
