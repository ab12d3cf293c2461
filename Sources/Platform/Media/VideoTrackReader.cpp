#include "Platform/Media/VideoTrackReader.h"

#include "Platform/Media/ColorConverter.h"
#include "Platform/Media/ConversionStage.h"
#include "Platform/Media/FrameAdopter.h"
#include "Platform/Media/PixelBufferPool.h"
#include "Platform/Media/PixelFormats.h"
#include "Platform/Media/TrackDecoder.h"

namespace vi::media {

namespace {

// Frames within this of the start time count as showing at it (a tick of rounding either way).
constexpr MediaTime kStartTolerance{1, kMediaTimescale};

} // namespace

struct VideoTrackReader::State {
    State(const Asset& asset, const VideoReaderOptions& readerOptions)
        : options(readerOptions)
        , decoder(asset, TrackKind::video, readerOptions.track, readerOptions.threads)
        , held(detail::makeFrame())
        , lookahead(detail::makeFrame())
        , scratch(detail::makeFrame())
        , stage([this](AVFrame* frame) { return deliver(frame); })
    {
    }

    // The next decoded frame into `scratch`, taking a frame put aside by the start search first.
    bool decodeNext()
    {
        if (hasLookahead) {
            av_frame_unref(scratch.get());
            av_frame_move_ref(scratch.get(), lookahead.get());
            hasLookahead = false;
            return true;
        }
        return decoder.receive(scratch.get());
    }

    // Turns a decoded frame into what the caller asked for, copying only when converting.
    PixelBuffer deliver(AVFrame* frame)
    {
        const auto layout = detail::fromAVPixelFormat(frame->format);
        if (options.output == VideoOutput::native && layout && *layout != PixelFormat::bgra)
            return adopter.adopt(frame, *layout);
        const PixelFormat wanted = options.output == VideoOutput::native ? PixelFormat::yuv420p : PixelFormat::bgra;
        if (!pool || pool->width() != frame->width || pool->height() != frame->height) {
            pool = std::make_unique<PixelBufferPool>(wanted, frame->width, frame->height, detail::matrixOf(frame),
                                                     detail::rangeOf(frame));
        }
        PixelBuffer picture = pool->acquire();
        converter.convertFrame(frame, picture);
        av_frame_unref(frame);
        return picture;
    }

    VideoReaderOptions options;
    detail::TrackDecoder decoder;
    detail::FrameAdopter adopter;
    ColorConverter converter;
    std::unique_ptr<PixelBufferPool> pool;
    detail::Frame held;
    detail::Frame lookahead;
    detail::Frame scratch;
    bool hasLookahead = false;
    std::optional<MediaTime> pendingStart; // set by a seek until the frame at that time is found
    std::function<bool()> interrupted;     // asked between frames while a seek's search decodes
    // Last, so it stops before what it converts with goes.
    detail::ConversionStage stage;
};

VideoTrackReader::VideoTrackReader(const Asset& asset, VideoReaderOptions options)
    : state_(std::make_unique<State>(asset, options))
{
    if (options.start > 0)
        seek(options.start);
}

VideoTrackReader::~VideoTrackReader() = default;

const TrackInfo& VideoTrackReader::track() const { return state_->decoder.track(); }

void VideoTrackReader::seek(double seconds)
{
    State& s = *state_;
    s.stage.discard();
    s.decoder.seek(MediaTime::fromSeconds(seconds));
    av_frame_unref(s.lookahead.get());
    s.hasLookahead = false;
    s.pendingStart = MediaTime::fromSeconds(seconds);
}

void VideoTrackReader::setInterruption(std::function<bool()> interrupted)
{
    state_->interrupted = std::move(interrupted);
}

std::optional<MediaTime> VideoTrackReader::keyFrameAtOrBefore(MediaTime time) const
{
    return state_->decoder.keyFrameAtOrBefore(time);
}

std::optional<VideoFrame> VideoTrackReader::next()
{
    State& s = *state_;
    if (s.pendingStart) {
        s.stage.discard();
        // Decode forward from the keyframe, keeping the latest frame that shows at or before
        // the start; the first frame after it is put aside for the following call.
        const MediaTime start = *s.pendingStart;
        s.pendingStart.reset();
        bool holding = false;
        // A caller that no longer wants this frame (a newer seek came) cuts the search short:
        // the latest frame reached is given, and reading goes on from there.
        while (!(holding && s.interrupted && s.interrupted()) && s.decodeNext()) {
            const bool showsAtStart = s.decoder.timeOf(s.scratch.get()) <= start + kStartTolerance;
            if (showsAtStart || !holding) {
                av_frame_unref(s.held.get());
                av_frame_move_ref(s.held.get(), s.scratch.get());
                holding = true;
                if (showsAtStart)
                    continue;
                break; // the very first frame lies after the start: it is the one to give
            }
            av_frame_move_ref(s.lookahead.get(), s.scratch.get());
            s.hasLookahead = true;
            break;
        }
        if (!holding)
            return std::nullopt;
        const MediaTime time = s.decoder.timeOf(s.held.get());
        return VideoFrame{s.deliver(s.held.get()), time};
    }
    if (s.options.output == VideoOutput::bgra) {
        // Frame n converts on the stage's thread while frame n + 1 is decoded here.
        if (!s.stage.busy()) {
            if (!s.decodeNext())
                return std::nullopt;
            const MediaTime time = s.decoder.timeOf(s.scratch.get());
            s.stage.submit(s.scratch.get(), time);
        }
        const bool more = s.decodeNext();
        VideoFrame ready = s.stage.collect();
        if (more) {
            const MediaTime time = s.decoder.timeOf(s.scratch.get());
            s.stage.submit(s.scratch.get(), time);
        }
        return ready;
    }
    if (!s.decodeNext())
        return std::nullopt;
    const MediaTime time = s.decoder.timeOf(s.scratch.get());
    return VideoFrame{s.deliver(s.scratch.get()), time};
}

} // namespace vi::media
