#pragma once

// Internal to the media layer: the MP4 container side of AssetWriter.

#include "Platform/Media/FFmpegHandles.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/WriterSettings.h"

#include <filesystem>
#include <mutex>
#include <string>

namespace vi::media::detail {

// Owns the output format context. Streams are added before open(); packets from any thread
// are written one at a time under the muxer's lock.
class Muxer {
public:
    Muxer(std::filesystem::path destination, WriterOptions options);
    ~Muxer();
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    AVStream* addStream();
    bool needsGlobalHeaders() const;
    bool fragmented() const { return options_.fragmented; }
    void setMetadata(const std::string& key, const std::string& value);

    // Opens the file and writes the header. Throws MediaError (writeFailed).
    void open();
    // Takes the packet's contents (the packet is left blank). Throws MediaError (writeFailed).
    void write(AVPacket* packet);
    // Writes the index and closes the file; a temporary file is renamed into place.
    void close();
    // Closes without completing; `removeFile` deletes what was written.
    void abandon(bool removeFile) noexcept;

    // Where bytes go while writing: the destination itself, or a temporary name beside it.
    const std::filesystem::path& writingPath() const { return writingPath_; }

private:
    std::filesystem::path destination_;
    std::filesystem::path writingPath_;
    WriterOptions options_;
    AVFormatContext* format_ = nullptr;
    std::mutex mutex_;
    bool opened_ = false;  // the file is open for writing
    bool created_ = false; // this muxer made the file at writingPath_
};

// A writing failure as a person should read it, from FFmpeg's error code.
MediaError writeError(const std::string& step, int result);

} // namespace vi::media::detail
