// The finishing filters of the wallpapers: a Gaussian softening and film grain.
#include "RecordCore/Wallpapers.h"

#include "Platform/Raster/Blend.h"
#include "Platform/Raster/Blur.h"
#include "Platform/Raster/ColorMatrix.h"
#include "Platform/Raster/Noise.h"

#include <cmath>
#include <new>
#include <stdexcept>

namespace vi::Wallpapers {

namespace {
// One fixed noise field for every wallpaper, as a film stock has one grain: the pictures stay
// the same bytes on every run, and the grain of two wallpapers matches.
constexpr std::uint64_t kGrainSeed = 0x5EED0F11A7E5ULL;
} // namespace

raster::Image blur(const raster::Image& image, double sigma) {
    if (image.isNull() || !(sigma > 0) || !std::isfinite(sigma)) {
        return image;
    }
    try {
        return raster::gaussianBlur(image, sigma, raster::Edges::clamp);
    } catch (const std::bad_alloc&) {
        return image;
    } catch (const std::length_error&) {
        return image;
    }
}

raster::Image grain(const raster::Image& image, double amount) {
    if (image.isNull() || !(amount > 0) || !std::isfinite(amount)) {
        return image;
    }
    try {
        // Grey noise (every channel takes the noise's green) at the grain's strength...
        raster::ColorMatrix grey;
        grey.red = grey.green = grey.blue = {0, 1, 0, 0};
        grey.alpha = {0, 0, 0, amount};
        const raster::Image noise = raster::applyColorMatrix(raster::noiseImage(image.extent(), kGrainSeed), grey);
        // ...soft-light blended over the picture: it textures without shifting the tone.
        raster::Bitmap picture = raster::Bitmap::copyOf(image);
        raster::softLightBlend(picture, noise);
        return std::move(picture).freeze();
    } catch (const std::bad_alloc&) {
        return image;
    } catch (const std::length_error&) {
        return image;
    }
}

} // namespace vi::Wallpapers
