#include "Platform/Media/FrameAdopter.h"

#include "Platform/Media/PixelStorage.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vi::media::detail {

FrameAdopter::FrameAdopter() : home_(std::make_shared<StorageHome>()) {}
FrameAdopter::~FrameAdopter() = default;

PixelBuffer FrameAdopter::adopt(AVFrame* frame, PixelFormat layout)
{
    PixelStorage* storage = home_->take();
    av_frame_move_ref(storage->frame, frame);
    storage->format = layout;
    return PixelBuffer(storage);
}

} // namespace vi::media::detail
