#include "Platform/Media/Muxer.h"

#include "Platform/Media/FragmentIndex.h"
#include "Platform/Media/MediaError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>

extern "C" {
#include <libavutil/opt.h>
}

namespace vi::media::detail {

namespace {

// Packets wait at most this long for the other tracks' packets before being written anyway, so
// a track that never gets sound cannot hold the video back in memory.
constexpr int64_t kInterleaveWindowMicroseconds = 250000;
// Fragments longer than a second would let a kill lose more than a second of recording.
constexpr double kLongestFragmentSeconds = 1.0;
constexpr double kShortestFragmentSeconds = 0.05;

std::filesystem::path temporaryPathFor(const std::filesystem::path& destination)
{
    return destination.parent_path() / ("." + destination.filename().string() + ".writing");
}

} // namespace

MediaError writeError(const std::string& step, int result)
{
    std::string reason;
    if (result == AVERROR(ENOENT))
        reason = "its folder does not exist";
    else if (result == AVERROR(EACCES) || result == AVERROR(EPERM) || result == AVERROR(EROFS))
        reason = "the folder cannot be written to";
    else if (result == AVERROR(ENOSPC) || result == AVERROR(EDQUOT))
        reason = "the disk is full";
    else if (result == AVERROR(EISDIR))
        reason = "a folder is in the way";
    else
        reason = "the file could not be written";
    return MediaError(MediaErrorKind::writeFailed, reason, ffmpegDetail(step, result));
}

Muxer::Muxer(std::filesystem::path destination, WriterOptions options)
    : destination_(std::move(destination)), options_(options)
{
    writingPath_ = options_.fragmented ? destination_ : temporaryPathFor(destination_);
    const int result = avformat_alloc_output_context2(&format_, nullptr, "mp4", writingPath_.c_str());
    if (result < 0 || !format_)
        throw MediaError(MediaErrorKind::writeFailed, "the MP4 writer is missing", ffmpegDetail("avformat_alloc_output_context2", result));
}

Muxer::~Muxer() { abandon(false); }

AVStream* Muxer::addStream()
{
    AVStream* stream = avformat_new_stream(format_, nullptr);
    if (!stream)
        throw std::bad_alloc();
    return stream;
}

bool Muxer::needsGlobalHeaders() const { return (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0; }

void Muxer::setMetadata(const std::string& key, const std::string& value)
{
    av_dict_set(&format_->metadata, key.c_str(), value.c_str(), 0);
}

void Muxer::open()
{
    int result = avio_open(&format_->pb, writingPath_.c_str(), AVIO_FLAG_WRITE);
    if (result < 0)
        throw writeError("avio_open " + writingPath_.string(), result);
    opened_ = true;
    created_ = true;
    format_->max_interleave_delta = kInterleaveWindowMicroseconds;

    AVDictionary* settings = nullptr;
    if (options_.fragmented) {
        // Self-contained fragments cut by duration, each pushed to the file as soon as it is
        // complete. The header waits for the first fragment so that it can carry the edit lists
        // that put the first frame at 0 and hide the sound encoder's priming.
        const double seconds = std::clamp(std::isfinite(options_.fragmentSeconds) ? options_.fragmentSeconds : 0.5,
                                          kShortestFragmentSeconds, kLongestFragmentSeconds);
        av_dict_set(&settings, "movflags", "+delay_moov+default_base_moof+use_metadata_tags", 0);
        av_dict_set_int(&settings, "frag_duration", static_cast<int64_t>(seconds * 1e6), 0);
        format_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    } else {
        av_dict_set(&settings, "movflags", "+use_metadata_tags", 0);
    }
    result = avformat_write_header(format_, &settings);
    av_dict_free(&settings);
    if (result < 0)
        throw writeError("avformat_write_header", result);
}

void Muxer::write(AVPacket* packet)
{
    std::lock_guard lock(mutex_);
    const int result = av_interleaved_write_frame(format_, packet);
    if (result < 0)
        throw writeError("av_interleaved_write_frame", result);
}

void Muxer::close()
{
    std::lock_guard lock(mutex_);
    int result = av_write_trailer(format_);
    const int closed = avio_closep(&format_->pb);
    opened_ = false;
    avformat_free_context(format_);
    format_ = nullptr;
    if (result >= 0)
        result = closed;
    if (result < 0) {
        std::error_code ignored;
        if (!options_.fragmented && std::filesystem::is_regular_file(writingPath_, ignored))
            std::filesystem::remove(writingPath_, ignored);
        throw writeError("av_write_trailer", result);
    }
    // A finished fragmented file gets a complete index, so that it opens and seeks like a plain
    // MP4; where that cannot be done it stays a valid fragmented file.
    if (options_.fragmented)
        indexFragmentedFile(writingPath_);
    if (writingPath_ != destination_) {
        std::error_code error;
        std::filesystem::rename(writingPath_, destination_, error);
        if (error) {
            std::filesystem::remove(writingPath_, error);
            throw MediaError(MediaErrorKind::writeFailed, "the finished file could not be put in place",
                             "rename to " + destination_.string() + ": " + error.message());
        }
    }
}

void Muxer::abandon(bool removeFile) noexcept
{
    std::lock_guard lock(mutex_);
    if (!format_)
        return; // closed already: the finished file stays
    {
        if (opened_)
            avio_closep(&format_->pb);
        opened_ = false;
        avformat_free_context(format_);
        format_ = nullptr;
        // A temporary file never becomes the recording; a fragmented one is kept unless asked.
        std::error_code ignored;
        // Only a regular file of ours is ever deleted (never a device such as /dev/null).
        if (created_ && (removeFile || writingPath_ != destination_) && std::filesystem::is_regular_file(writingPath_, ignored))
            std::filesystem::remove(writingPath_, ignored);
    }
}

} // namespace vi::media::detail
