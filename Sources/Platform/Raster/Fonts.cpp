#include "Platform/Raster/Fonts.h"

#include <QFontDatabase>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace vi::raster::Fonts {

namespace {

constexpr const char* wordsFamily = "Plus Jakarta Sans";
constexpr const char* digitsFamily = "JetBrains Mono";

struct Registry {
    bool wordsRegistered = false;
    bool digitsRegistered = false;
};

// Adds every .ttf of one folder; true when at least one face of the expected family loaded.
bool addFolder(const std::filesystem::path& folder, const QString& family) {
    std::error_code error;
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".ttf") {
            continue;
        }
        const int id = QFontDatabase::addApplicationFont(QString::fromStdString(entry.path().string()));
        if (id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(family)) {
            found = true;
        }
    }
    return found;
}

Registry& registry() {
    static Registry instance;
    static std::once_flag once;
    std::call_once(once, [] {
        const auto fonts = resourcesDirectory() / "Fonts";
        instance.wordsRegistered = addFolder(fonts / "PlusJakartaSans", wordsFamily);
        instance.digitsRegistered = addFolder(fonts / "JetBrainsMono", digitsFamily);
    });
    return instance;
}

int qtWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::Medium: return QFont::Medium;
    case FontWeight::Semibold: return QFont::DemiBold;
    case FontWeight::Bold: return QFont::Bold;
    case FontWeight::Heavy: return QFont::ExtraBold;
    }
    return QFont::Bold;
}

QFont make(const QString& family, QFont::StyleHint fallback, double pixelSize, FontWeight weight) {
    QFont font(family);
    font.setStyleHint(fallback, QFont::PreferAntialias);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setWeight(static_cast<QFont::Weight>(qtWeight(weight)));
    // Point size on a 72-dpi device is the pixel size, fractions included.
    font.setPointSizeF(pixelSize > 0 ? pixelSize : 0.01);
    return font;
}

} // namespace

std::filesystem::path resourcesDirectory() {
    if (const char* configured = std::getenv("VI_RESOURCES"); configured != nullptr && *configured != '\0') {
        return configured;
    }
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "Resources";
    }
    return executable.parent_path().parent_path() / "Resources";
}

void registerInterfaceFonts() { registry(); }

bool interfaceFontsRegistered() {
    const Registry& r = registry();
    return r.wordsRegistered && r.digitsRegistered;
}

QFont words(double pixelSize, FontWeight weight) {
    const Registry& r = registry();
    return make(r.wordsRegistered ? QString(wordsFamily)
                                  : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(),
                QFont::SansSerif, pixelSize, weight);
}

QFont digits(double pixelSize, FontWeight weight) {
    const Registry& r = registry();
    return make(r.digitsRegistered ? QString(digitsFamily)
                                   : QFontDatabase::systemFont(QFontDatabase::FixedFont).family(),
                QFont::Monospace, pixelSize, weight);
}

QPaintDevice* measuringDevice() {
    static QImage* device = [] {
        auto* image = new QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image->setDotsPerMeterX(textDotsPerMeter);
        image->setDotsPerMeterY(textDotsPerMeter);
        return image;
    }();
    return device;
}

} // namespace vi::raster::Fonts
