#include "Platform/Media/FFmpegHandles.h"

#include <cstdlib>
#include <mutex>
#include <new>

extern "C" {
#include <libavutil/log.h>
}

namespace vi::media::detail {

Frame makeFrame()
{
    Frame frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

Packet makePacket()
{
    Packet packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

void quietenFFmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (std::getenv("VI_FFMPEG_LOG") == nullptr)
            av_log_set_level(AV_LOG_FATAL);
    });
}

} // namespace vi::media::detail
