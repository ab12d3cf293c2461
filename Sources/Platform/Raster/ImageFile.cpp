#include "Platform/Raster/ImageFile.h"

#include "Platform/Raster/QtBridge.h"

#include <QImageReader>
#include <QImageWriter>
#include <QString>

#include <algorithm>
#include <cmath>

namespace vi::raster {

namespace {

QString qtPath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

void setError(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
}

bool write(const QImage& qimage, const std::filesystem::path& path, const char* format, int quality,
           std::string* error) {
    if (qimage.isNull()) {
        setError(error, "there is no picture to write");
        return false;
    }
    QImageWriter writer(qtPath(path), format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    if (!writer.write(qimage)) {
        setError(error, writer.errorString().toStdString());
        return false;
    }
    return true;
}

} // namespace

std::optional<Image> readImageFile(const std::filesystem::path& path, std::string* error) {
    QImageReader reader(qtPath(path));
    reader.setAutoTransform(true);
    QImage qimage = reader.read();
    if (qimage.isNull()) {
        setError(error, reader.errorString().toStdString());
        return std::nullopt;
    }
    return imageFromQImage(qimage);
}

bool writePng(const Image& image, const std::filesystem::path& path, std::string* error) {
    return write(qimageView(image), path, "png", -1, error);
}

bool writeJpeg(const Image& image, const std::filesystem::path& path, double quality, std::string* error) {
    const int percent = int(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    const QImage opaque = qimageView(image).convertToFormat(QImage::Format_RGB32);
    return write(opaque, path, "jpeg", percent, error);
}

} // namespace vi::raster
