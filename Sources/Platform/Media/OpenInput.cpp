#include "Platform/Media/OpenInput.h"

#include "Platform/Media/MediaError.h"

#include <cerrno>
#include <system_error>

namespace vi::media::detail {

namespace {

void checkFile(const std::filesystem::path& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        throw MediaError(MediaErrorKind::openFailed, "it does not exist", path.string());
    if (std::filesystem::is_directory(status))
        throw MediaError(MediaErrorKind::openFailed, "it is a folder, not a file", path.string());
    if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, error) == 0 && !error)
        throw MediaError(MediaErrorKind::openFailed, "the file is empty", path.string());
}

} // namespace

InputFormat openInput(const std::filesystem::path& path)
{
    quietenFFmpegLog();
    checkFile(path);

    AVFormatContext* raw = nullptr;
    int result = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (result < 0) {
        const bool unreadable = result == AVERROR(EACCES) || result == AVERROR(EPERM) || result == AVERROR(EIO);
        throw MediaError(MediaErrorKind::openFailed,
                         unreadable ? "it cannot be read" : "it is not a video or sound file that can be read",
                         ffmpegDetail("avformat_open_input " + path.string(), result));
    }
    InputFormat format(raw);
    result = avformat_find_stream_info(format.get(), nullptr);
    if (result < 0)
        throw MediaError(MediaErrorKind::openFailed, "it is damaged",
                         ffmpegDetail("avformat_find_stream_info " + path.string(), result));
    return format;
}

} // namespace vi::media::detail
