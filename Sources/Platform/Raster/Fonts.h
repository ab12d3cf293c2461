#pragma once

#include <QFont>

#include <filesystem>

class QPaintDevice;

namespace vi::raster {

// The weights the drawing code asks for. The word font stops at ExtraBold, so Heavy is drawn
// in ExtraBold (800), the boldest weight it has.
enum class FontWeight { Medium, Semibold, Bold, Heavy };

// The interface fonts: "Plus Jakarta Sans" for words and "JetBrains Mono" for digits that must
// not jump as they change (a running clock). They are registered with Qt once per process from
// the resources folder; when they cannot be found or registered the system's own sans-serif
// and monospace fonts stand in, so drawing never fails for want of a font.
namespace Fonts {

// The resources folder: $VI_RESOURCES when set, otherwise "Resources" beside the executable's
// own folder (<build>/bin/../Resources).
std::filesystem::path resourcesDirectory();

// Registers the font files once; later calls return at once. Needs a QGuiApplication.
void registerInterfaceFonts();

// Whether the interface families were registered (false when the system fonts stand in).
bool interfaceFontsRegistered();

// Fonts sized in pixels of a device at textDotsPerMeter, with fractional sizes kept and
// hinting off so that metrics scale smoothly with the render scale.
QFont words(double pixelSize, FontWeight weight);
QFont digits(double pixelSize, FontWeight weight);

// 72 dots per inch: one point is one pixel on a device with this resolution, so fractional
// pixel sizes survive (QFont only takes whole pixel sizes). Every image text is drawn on, or
// measured against, carries it.
inline constexpr int textDotsPerMeter = 2835;

// A device of that resolution for measuring text before any image exists.
QPaintDevice* measuringDevice();

} // namespace Fonts
} // namespace vi::raster
