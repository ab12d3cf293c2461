#pragma once

// Internal to the media layer: opening a file for reading with errors a person can act on.

#include "Platform/Media/FFmpegHandles.h"

#include <filesystem>

namespace vi::media::detail {

// Opens and probes the file. Throws MediaError (openFailed) saying whether it is missing, a
// folder, empty, unreadable, not media, or damaged.
InputFormat openInput(const std::filesystem::path& path);

} // namespace vi::media::detail
