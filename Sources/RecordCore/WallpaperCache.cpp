// The cache of full-size wallpaper renders on disk.
#include "RecordCore/Wallpapers.h"

#include "Platform/Desktop/XdgFolders.h"
#include "Platform/Raster/ImageFile.h"
#include "RecordCore/Uuid.h"

#include <mutex>
#include <system_error>

namespace vi::Wallpapers {

namespace {

// JPEG quality of cached files: visually lossless for smooth gradients at moderate size.
constexpr double kCacheQuality = 0.92;

// Rendering and writing a missing file happen under this one lock, so each file is made once
// even when several renders ask for it together.
std::mutex& writing() {
    static std::mutex lock;
    return lock;
}

bool isCached(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error);
}

} // namespace

std::filesystem::path folder() {
    const std::filesystem::path path = platform::xdgDataHome() / "Vavod Idiriz" / "Wallpapers";
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    return path;
}

std::optional<std::filesystem::path> url(std::string_view id) {
    // Only catalogue ids name files: an id read from a document can never point elsewhere.
    if (find(id) == nullptr) {
        return std::nullopt;
    }
    const std::string name(id);
    const std::filesystem::path dir = folder();
    const std::filesystem::path file = dir / (name + "-v1.jpg");
    if (isCached(file)) {
        return file;
    }

    std::lock_guard guard(writing());
    if (isCached(file)) {
        return file; // another caller wrote it while this one waited
    }
    std::optional<raster::Image> image = render(id, cachedWidth, cachedHeight);
    if (!image) {
        return std::nullopt;
    }
    // A hidden name in the same folder, renamed into place only when complete.
    const std::filesystem::path temporary = dir / ("." + name + "-" + Uuid::random().string() + ".jpg");
    if (!raster::writeJpeg(*image, temporary, kCacheQuality)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return std::nullopt;
    }
    std::error_code moveError;
    std::filesystem::rename(temporary, file, moveError);
    if (moveError) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return std::nullopt;
    }
    return file;
}

} // namespace vi::Wallpapers
