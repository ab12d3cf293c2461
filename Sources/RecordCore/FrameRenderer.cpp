#include "RecordCore/FrameRenderer.h"

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelBufferPool.h"

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

// What one composing thread keeps between frames.
struct ComposerScratch {
    media::ColorConverter converter{false}; // several frames convert at once already
    std::unique_ptr<media::PixelBufferPool> pictures;
    raster::Bitmap canvas;
};

} // namespace

class FrameRenderer::Picture {
public:
    explicit Picture(media::PixelBuffer native) : native_(std::move(native)) {}

    // The picture as a BGRA image, converted on the first call (by whichever thread asks first).
    const raster::Image& image(ComposerScratch& scratch)
    {
        std::call_once(converted_, [&] {
            media::PixelBuffer bgra = native_;
            if (native_.format() != media::PixelFormat::bgra) {
                auto& pool = scratch.pictures;
                if (!pool || pool->width() != native_.width() || pool->height() != native_.height())
                    pool = std::make_unique<media::PixelBufferPool>(media::PixelFormat::bgra, native_.width(),
                                                                    native_.height());
                bgra = pool->acquire();
                scratch.converter.convert(native_.view(), bgra);
            }
            auto owner = std::make_shared<media::PixelBuffer>(bgra);
            image_ = raster::Image(owner, owner->data(0), owner->width(), owner->height(), owner->stride(0));
            native_ = {}; // the decoder's memory goes back as soon as possible
        });
        return image_;
    }

private:
    media::PixelBuffer native_;
    std::once_flag converted_;
    raster::Image image_;
};

FrameRenderer::FrameRenderer(Inputs inputs) : in_(std::move(inputs)), sourceTimes_(in_.plan)
{
    in_.composeThreads = std::max(1, in_.composeThreads);
    in_.total = std::max(1, in_.total);
    window_ = in_.composeThreads * kFramesAheadPerComposer + kFramesAheadSlack;
    // 4:2:0 needs even sides; a canvas of odd size loses its last row or column.
    yuvPool_ = std::make_unique<media::PixelBufferPool>(media::PixelFormat::yuv420p, in_.compositor.width() & ~1,
                                                        in_.compositor.height() & ~1);
    const raster::Image& backdrop = in_.compositor.backdrop();
    if (backdrop.width() >= in_.compositor.width() && backdrop.height() >= in_.compositor.height()) {
        backdropYuv_ = yuvPool_->acquire();
        media::ColorConverter converter;
        converter.convert(media::ImageView::bgra(backdrop.row(0), backdropYuv_.width(), backdropYuv_.height(),
                                                 static_cast<int>(backdrop.stride())),
                          backdropYuv_);
    }
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
            const raster::Image& source = job.source->image(scratch);
            const raster::Image* camera = job.camera ? &job.camera->image(scratch) : nullptr;
            media::PixelBuffer yuv = yuvPool_->acquire();
            if (backdropYuv_) {
                const std::vector<raster::IntRect> changed =
                    in_.compositor.frameChanges(source, in_.scene.state(job.time), camera, scratch.canvas);
                convertChanges(scratch.canvas, changed, yuv, scratch.converter);
            } else {
                in_.compositor.frame(source, in_.scene.state(job.time), camera, scratch.canvas);
                const auto bgra = media::ImageView::bgra(scratch.canvas.bits(), yuv.width(), yuv.height(),
                                                         static_cast<int>(scratch.canvas.stride()));
                scratch.converter.convert(bgra, yuv);
            }
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

namespace {

// The part of a 4:2:0 picture inside `area` (even corners), as a picture of its own.
media::ImageView yuvPart(const media::PixelBuffer& yuv, const raster::IntRect& area)
{
    media::ImageView part = yuv.view();
    part.width = area.width;
    part.height = area.height;
    part.data[0] += static_cast<std::ptrdiff_t>(area.y) * part.stride[0] + area.x;
    for (int plane = 1; plane < 3; ++plane)
        part.data[size_t(plane)] += static_cast<std::ptrdiff_t>(area.y / 2) * part.stride[size_t(plane)] + area.x / 2;
    return part;
}

void copyPart(const media::PixelBuffer& from, const media::PixelBuffer& to, const raster::IntRect& area)
{
    const media::ImageView source = yuvPart(from, area);
    const media::ImageView target = yuvPart(to, area);
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const auto bytes = static_cast<size_t>(area.width >> shift);
        for (int y = 0; y < area.height >> shift; ++y)
            std::memcpy(const_cast<uint8_t*>(target.data[size_t(plane)]) + static_cast<std::ptrdiff_t>(y) * target.stride[size_t(plane)],
                        source.data[size_t(plane)] + static_cast<std::ptrdiff_t>(y) * source.stride[size_t(plane)], bytes);
    }
}

bool holds(const std::vector<raster::IntRect>& areas, const raster::IntRect& rect)
{
    return std::any_of(areas.begin(), areas.end(), [&](const raster::IntRect& area) {
        return rect.x >= area.x && rect.y >= area.y && rect.right() <= area.right() && rect.bottom() <= area.bottom();
    });
}

} // namespace

void FrameRenderer::convertChanges(const raster::Bitmap& canvas, const std::vector<raster::IntRect>& changed,
                                   const media::PixelBuffer& yuv, media::ColorConverter& converter)
{
    const raster::IntRect picture{0, 0, yuv.width(), yuv.height()};
    std::vector<raster::IntRect> areas;
    for (const raster::IntRect& rect : changed) {
        const raster::IntRect area = rect.intersected(picture);
        if (!area.isEmpty())
            areas.push_back(area);
    }
    std::optional<std::vector<raster::IntRect>> before;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = convertedAreas_.find(yuv.data(0)); found != convertedAreas_.end())
            before = found->second;
    }
    // A picture never used holds anything: all of it starts as the backdrop.
    for (const raster::IntRect& rect : before ? *before : std::vector<raster::IntRect>{picture}) {
        if (!holds(areas, rect))
            copyPart(backdropYuv_, yuv, rect);
    }
    for (const raster::IntRect& area : areas) {
        const auto bgra = media::ImageView::bgra(reinterpret_cast<const uint8_t*>(canvas.pixels(area.y) + area.x),
                                                 area.width, area.height, static_cast<int>(canvas.stride()));
        converter.convert(bgra, yuvPart(yuv, area), yuv.matrix(), yuv.range());
    }
    std::lock_guard lock(mutex_);
    convertedAreas_[yuv.data(0)] = std::move(areas);
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
