// The fade of an overlay and the brightness probe of a backdrop.
#include "RecordCore/Overlays.h"

#include "Platform/Raster/ColorMatrix.h"
#include "Platform/Raster/Measure.h"

#include <algorithm>

namespace vi::Overlays {

namespace {
// Opacities this close to 1 change no pixel visibly, so the image is used as it is and a
// frame at full opacity costs nothing.
constexpr double kOpaqueEnough = 0.999;
} // namespace

raster::Image fade(const raster::Image& image, double alpha) {
    if (alpha >= kOpaqueEnough) {
        return image;
    }
    return raster::fade(image, std::clamp(alpha, 0.0, 1.0));
}

double luma(const raster::Image& image, const raster::IntRect& area) { return raster::meanLuma(image, area); }

} // namespace vi::Overlays
