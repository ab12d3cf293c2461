#pragma once

#include "Platform/Raster/Image.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vi::raster {

// PNG and JPEG through Qt's image readers and writers. Failures give a message, never throw.

// Reads any image file Qt can decode (PNG, JPEG, ...) as premultiplied BGRA at the origin.
std::optional<Image> readImageFile(const std::filesystem::path& path, std::string* error = nullptr);

bool writePng(const Image& image, const std::filesystem::path& path, std::string* error = nullptr);

// `quality` is 0...1 (0.92 is a high quality that keeps files moderate). JPEG has no alpha:
// transparent parts come out black.
bool writeJpeg(const Image& image, const std::filesystem::path& path, double quality, std::string* error = nullptr);

} // namespace vi::raster
