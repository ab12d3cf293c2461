#include "RecordCore/FrameRenderer.h"

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelBufferPool.h"
#include "RecordCore/SourceChanges.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace vi {

namespace {

// Frames picked ahead of the writer, per composing thread: enough to keep every composer busy
// while the writer takes its turn, few enough to bound the pictures held.
constexpr int kFramesAheadPerComposer = 2;
constexpr int kFramesAheadSlack = 2;

void nameThread(const char* name) { pthread_setname_np(pthread_self(), name); }

// What one composing thread keeps between frames. Each thread brings its own canvas from the
// frame it composed last to the next one, repainting and converting only what differs, so it
// keeps that frame's source (decoded and in BGRA), canvas and 4:2:0 picture.
struct ComposerScratch {
    media::ColorConverter converter{false}; // several frames convert at once already
    std::unique_ptr<media::PixelBufferPool> pictures; // for the source in BGRA
    std::unique_ptr<media::PixelBufferPool> cameraPictures; // for camera frames in BGRA
    FrameRenderer::PicturePtr heldSource;   // the source frame the canvas was painted from
    media::PixelBuffer sourceBgra;          // it in BGRA (when decoded in another layout)
    raster::Image sourceImage;              // the BGRA source as the compositor reads it
    raster::Bitmap canvas;
    Compositor::Painted painted;
    std::unique_ptr<media::PixelBufferPool> yuvPictures;
    media::PixelBuffer yuv;                 // the canvas in 4:2:0
};

raster::Image imageOf(const media::PixelBuffer& bgra)
{
    auto owner = std::make_shared<media::PixelBuffer>(bgra);
    return raster::Image(owner, owner->data(0), owner->width(), owner->height(), owner->stride(0));
}

// The part of a picture inside `area` (even corners for 4:2:0), as a picture of its own.
media::ImageView partOf(const media::PixelBuffer& picture, const raster::IntRect& area)
{
    media::ImageView part = picture.view();
    part.width = area.width;
    part.height = area.height;
    if (picture.format() == media::PixelFormat::bgra) {
        part.data[0] += static_cast<std::ptrdiff_t>(area.y) * part.stride[0] + std::ptrdiff_t(area.x) * 4;
        return part;
    }
    part.data[0] += static_cast<std::ptrdiff_t>(area.y) * part.stride[0] + area.x;
    for (int plane = 1; plane < 3; ++plane)
        part.data[size_t(plane)] += static_cast<std::ptrdiff_t>(area.y / 2) * part.stride[size_t(plane)] + area.x / 2;
    return part;
}

// Copies one 4:2:0 picture into another of the same size.
void copyPicture(const media::PixelBuffer& from, const media::PixelBuffer& to)
{
    for (int plane = 0; plane < from.planeCount(); ++plane) {
        const int rows = plane == 0 ? from.height() : (from.height() + 1) / 2;
        const auto bytes = static_cast<size_t>(plane == 0 ? from.width() : (from.width() + 1) / 2);
        for (int y = 0; y < rows; ++y)
            std::memcpy(to.data(plane) + static_cast<std::ptrdiff_t>(y) * to.stride(plane),
                        from.data(plane) + static_cast<std::ptrdiff_t>(y) * from.stride(plane), bytes);
    }
}

} // namespace

class FrameRenderer::Picture {
public:
    explicit Picture(media::PixelBuffer native) : native_(std::move(native)) {}

    // The picture as decoded; a source frame keeps it for the threads that compare frames.
    const media::PixelBuffer& native() const { return native_; }

    // The picture as a BGRA image, converted on the first call (by whichever thread asks first).
    const raster::Image& image(ComposerScratch& scratch)
    {
        std::call_once(converted_, [&] {
            media::PixelBuffer bgra = native_;
            if (native_.format() != media::PixelFormat::bgra) {
                auto& pool = scratch.cameraPictures;
                if (!pool || pool->width() != native_.width() || pool->height() != native_.height())
                    pool = std::make_unique<media::PixelBufferPool>(media::PixelFormat::bgra, native_.width(),
                                                                    native_.height());
                bgra = pool->acquire();
                scratch.converter.convert(native_.view(), bgra);
            }
            image_ = imageOf(bgra);
            native_ = {}; // the decoder's memory goes back as soon as possible
        });
        return image_;
    }

private:
    media::PixelBuffer native_;
    std::once_flag converted_;
    raster::Image image_;
};

namespace {

// Makes `scratch` hold `picture` as its source, converting to BGRA only what differs from the
// source it held. Returns the areas that differ (none when it cannot tell).
std::optional<std::vector<raster::IntRect>> takeSource(const FrameRenderer::PicturePtr& picture,
                                                       ComposerScratch& scratch)
{
    const media::PixelBuffer& native = picture->native();
    std::optional<std::vector<raster::IntRect>> changes;
    if (scratch.heldSource == picture)
        changes = std::vector<raster::IntRect>{};
    else if (scratch.heldSource)
        changes = sourceChanges(scratch.heldSource->native(), native);
    scratch.heldSource = picture;
    if (native.format() == media::PixelFormat::bgra) {
        scratch.sourceImage = imageOf(native);
        return changes;
    }
    auto& pool = scratch.pictures;
    if (!pool || pool->width() != native.width() || pool->height() != native.height()) {
        pool = std::make_unique<media::PixelBufferPool>(media::PixelFormat::bgra, native.width(), native.height());
        scratch.sourceBgra = pool->acquire();
        scratch.sourceImage = imageOf(scratch.sourceBgra);
        changes.reset();
    }
    // Parts convert to exactly the pixels the whole would only where each 2 x 2 block of a
    // limited-range 4:2:0 frame becomes its four pixels on its own.
    if (native.format() != media::PixelFormat::yuv420p || native.range() != media::ColorRange::limited)
        changes.reset();
    if (!changes) {
        scratch.converter.convert(native.view(), scratch.sourceBgra);
        return changes;
    }
    for (const raster::IntRect& area : *changes)
        scratch.converter.convert(partOf(native, area), partOf(scratch.sourceBgra, area), scratch.sourceBgra.matrix(),
                                  scratch.sourceBgra.range());
    return changes;
}

// Brings the thread's 4:2:0 picture (`width` x `height`) to its canvas inside the areas that
// changed; a new picture takes all of it.
void convertChanges(const std::vector<raster::IntRect>& changed, ComposerScratch& scratch, int width, int height)
{
    const raster::IntRect picture{0, 0, width, height};
    bool whole = false;
    if (!scratch.yuv) {
        scratch.yuvPictures = std::make_unique<media::PixelBufferPool>(media::PixelFormat::yuv420p, picture.width,
                                                                       picture.height);
        scratch.yuv = scratch.yuvPictures->acquire();
        whole = true;
    }
    const std::vector<raster::IntRect> areas = whole ? std::vector<raster::IntRect>{picture} : changed;
    const raster::Bitmap& canvas = scratch.canvas;
    for (const raster::IntRect& rect : areas) {
        const raster::IntRect area = rect.intersected(picture);
        if (area.isEmpty())
            continue;
        const auto bgra = media::ImageView::bgra(reinterpret_cast<const uint8_t*>(canvas.pixels(area.y) + area.x),
                                                 area.width, area.height, static_cast<int>(canvas.stride()));
        scratch.converter.convert(bgra, partOf(scratch.yuv, area), scratch.yuv.matrix(), scratch.yuv.range());
    }
}

} // namespace

FrameRenderer::FrameRenderer(Inputs inputs) : in_(std::move(inputs)), sourceTimes_(in_.plan)
{
    in_.composeThreads = std::max(1, in_.composeThreads);
    in_.total = std::max(1, in_.total);
    window_ = in_.composeThreads * kFramesAheadPerComposer + kFramesAheadSlack;
    // 4:2:0 needs even sides; a canvas of odd size loses its last row or column.
    yuvPool_ = std::make_unique<media::PixelBufferPool>(media::PixelFormat::yuv420p, in_.compositor.width() & ~1,
                                                        in_.compositor.height() & ~1);
}

FrameRenderer::~FrameRenderer() = default;

int FrameRenderer::frames() const
{
    std::lock_guard lock(mutex_);
    return appended_;
}

std::exception_ptr FrameRenderer::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void FrameRenderer::fail(std::exception_ptr error)
{
    {
        std::lock_guard lock(mutex_);
        if (!failure_)
            failure_ = std::move(error);
        stop_ = true;
    }
    changed_.notify_all();
}

bool FrameRenderer::stopped() const
{
    std::lock_guard lock(mutex_);
    return stop_;
}

std::optional<FrameRenderer::Timed> FrameRenderer::readSource()
{
    std::optional<media::VideoFrame> frame = in_.source.next();
    if (!frame)
        return std::nullopt;
    const double outputTime = in_.plan.outputTime(frame->seconds());
    return Timed{std::make_shared<Picture>(std::move(frame->picture)), outputTime};
}

std::optional<FrameRenderer::Timed> FrameRenderer::readCamera()
{
    if (!in_.camera)
        return std::nullopt;
    try {
        std::optional<media::VideoFrame> frame = in_.camera->next();
        if (frame)
            return Timed{std::make_shared<Picture>(std::move(frame->picture)), frame->seconds()};
    } catch (const media::MediaError&) {
        // A camera file that cannot be read on ends there: the bubble is extra, the video is not.
    }
    in_.camera = nullptr;
    return std::nullopt;
}

FrameRenderer::PicturePtr FrameRenderer::cameraAt(double sourceTime)
{
    if (!in_.camera && !cameraStarted_)
        return nullptr;
    if (!cameraStarted_) {
        cameraStarted_ = true;
        cameraNow_ = readCamera();
        cameraNext_ = readCamera();
    }
    const double c = sourceTime - in_.cameraOffset;
    while (cameraNext_ && cameraNext_->time <= c + timeTolerance) {
        cameraNow_ = std::move(cameraNext_);
        cameraNext_ = readCamera();
    }
    if (!cameraNow_ || c < cameraNow_->time - cameraLead)
        return nullptr;
    if (cameraNext_ || c - cameraNow_->time < cameraHold)
        return cameraNow_->picture;
    return nullptr;
}

bool FrameRenderer::pickNext(Job& job)
{
    if (picked_ >= in_.total)
        return false;
    const double t = static_cast<double>(picked_) / in_.fps;
    if (!current_) {
        current_ = readSource();
        if (current_)
            upcoming_ = readSource();
    }
    while (upcoming_ && upcoming_->time <= t + timeTolerance) {
        current_ = std::move(upcoming_);
        upcoming_ = readSource();
    }
    if (!current_)
        return false;
    job = Job{picked_, t, current_->picture, cameraAt(sourceTimes_.sourceTime(t))};
    return true;
}

void FrameRenderer::run()
{
    std::vector<std::thread> threads;
    for (int k = 0; k < in_.composeThreads; ++k)
        threads.emplace_back([this] { composeLoop(); });
    threads.emplace_back([this] { appendLoop(); });
    try {
        Job job;
        while (!stopped() && pickNext(job)) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || picked_ - appended_ < window_; });
            if (stop_)
                break;
            queue_.push_back(std::move(job));
            ++picked_;
            lock.unlock();
            changed_.notify_all();
        }
    } catch (...) {
        fail(std::current_exception());
    }
    {
        std::lock_guard lock(mutex_);
        pickingDone_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

void FrameRenderer::composeLoop()
{
    nameThread("vi.export.comp");
    ComposerScratch scratch;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !queue_.empty() || pickingDone_; });
            if (stop_ || queue_.empty())
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            const std::optional<std::vector<raster::IntRect>> sourceChanged = takeSource(job.source, scratch);
            const raster::Image* camera = job.camera ? &job.camera->image(scratch) : nullptr;
            const std::vector<raster::IntRect> changed = in_.compositor.frameUpdate(
                scratch.sourceImage, sourceChanged, in_.scene.state(job.time), camera, scratch.canvas, scratch.painted);
            media::PixelBuffer yuv = yuvPool_->acquire();
            convertChanges(changed, scratch, yuv.width(), yuv.height());
            copyPicture(scratch.yuv, yuv);
            const int index = job.index;
            job = {}; // lets the source and camera pictures go while the frame waits
            {
                std::lock_guard lock(mutex_);
                composed_.emplace(index, std::move(yuv));
            }
            changed_.notify_all();
        } catch (...) {
            fail(std::current_exception());
            return;
        }
    }
}

void FrameRenderer::appendLoop()
{
    nameThread("vi.export.video");
    for (;;) {
        media::PixelBuffer frame;
        int index = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stop_ || composed_.contains(appended_) || (pickingDone_ && appended_ >= picked_);
            });
            if (stop_ || !composed_.contains(appended_))
                return;
            const auto found = composed_.find(appended_);
            frame = std::move(found->second);
            composed_.erase(found);
            index = appended_;
        }
        try {
            const double t = static_cast<double>(index) / in_.fps;
            in_.writer.appendVideo(in_.videoTrack, frame, media::MediaTime::fromSeconds(t));
        } catch (...) {
            fail(std::current_exception());
            return;
        }
        frame = {};
        int appended = 0;
        {
            std::lock_guard lock(mutex_);
            appended = ++appended_;
        }
        changed_.notify_all();
        if (appended % progressEvery == 0 && in_.progress)
            in_.progress(static_cast<double>(appended) / static_cast<double>(in_.total));
    }
}

} // namespace vi
