#include "RecordCore/Compositor.h"

#include "Platform/Raster/Blur.h"
#include "Platform/Raster/Composite.h"
#include "Platform/Raster/Gradient.h"
#include "Platform/Raster/ImageFile.h"
#include "Platform/Raster/Resample.h"
#include "Platform/Raster/Shapes.h"
#include "RecordCore/CompositorShapes.h"
#include "RecordCore/Overlays.h"

#include <algorithm>
#include <cmath>

namespace vi {

namespace {

using namespace CompositorGeometry;
using raster::Bitmap;
using raster::Color;
using raster::Image;
using raster::IntRect;

// Backdrop: the glow over the gradient is stronger on a light backdrop, and reaches this far
// (times the window's longer side) from a point this far (times its height) above its centre.
constexpr double lightGlowAlpha = 0.5;
constexpr double darkGlowAlpha = 0.22;
constexpr double glowReach = 0.75;
constexpr double glowLift = 0.1;
// The linear gradient runs from the top-left corner to this fraction of the width at the bottom.
constexpr double gradientSlant = 0.3;
// Blurs this small are invisible; the backdrop stays sharp.
constexpr double smallestBlur = 0.5;
// A wallpaper counts as light above this mean luma.
constexpr double lightWallpaperLuma = 0.62;
// Window shadow: drawn from this strength on, dropped by this fraction of the canvas height,
// blurred by this fraction of its width, and softer on a light backdrop.
constexpr double faintestShadow = 0.01;
constexpr double shadowDrop = 0.018;
constexpr double shadowSpread = 0.022;
constexpr double lightShadowAlpha = 0.45;
constexpr double darkShadowAlpha = 1.0;
// The rim: a thin band around the window that separates it from the backdrop.
constexpr double rimWidth = 1.5;
const Color lightRim = Color::gray(0, 0.12);
const Color darkRim = Color::gray(1, 0.14);
// Header title: dark ink above this band luma; its width leaves this margin; title sizes.
constexpr double darkInkLuma = 0.6;
const Color darkInk = Color::gray(0.07);
constexpr double headerMargin = 120;
constexpr double tallHeaderTitle = 62;
constexpr double headerTitle = 48;
constexpr double headerDrop = 4;
// Title card: as wide as this fraction of the window, with a title of this size.
constexpr double titleCardWidth = 0.8;
constexpr double titleCardSize = 64;
// Camera bubble's shadow: dropped and blurred by these fractions of its side.
constexpr double bubbleShadowDrop = 0.04;
constexpr double bubbleShadowSpread = 0.06;
constexpr double bubbleShadowAlpha = 0.55;
constexpr double borderRingAlpha = 0.95;
constexpr double thinRingAlpha = 0.22;

const Color white = Color::gray(1);

Color colorOf(const ColorTriple& c, double alpha = 1) { return {c.r, c.g, c.b, alpha}; }

Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }
Rect lowered(const Rect& r, double by) { return {r.x, r.y - by, r.width, r.height}; }

// The picture scaled to cover the whole canvas (never letterboxed) and centred.
std::optional<Image> wallpaperFill(const std::filesystem::path& file, int width, int height, raster::WorkerPool& pool) {
    const std::optional<Image> picture = raster::readImageFile(file);
    if (!picture || picture->isNull()) return std::nullopt;
    const double fill = std::max(double(width) / picture->width(), double(height) / picture->height());
    const double w = picture->width() * fill;
    const double h = picture->height() * fill;
    Bitmap canvas(width, height);
    raster::Resampler(pool).render(*picture, raster::RectF::from(picture->extent()),
                                   {(width - w) * 0.5, (height - h) * 0.5, w, h}, canvas);
    return std::move(canvas).freeze();
}

Image gradientBackdrop(const Backdrop& backdrop, const Rect& window, int width, int height) {
    const IntRect area{0, 0, width, height};
    const Point start = toRaster(Point{0, double(height)}, height);
    const Point end = toRaster(Point{gradientSlant * width, 0}, height);
    Bitmap canvas = Bitmap::copyOf(raster::renderGradient(
        raster::LinearGradient{start, end, raster::GradientRamp::between(colorOf(backdrop.top), colorOf(backdrop.bottom))},
        area));
    const double glowAlpha = backdrop.light ? lightGlowAlpha : darkGlowAlpha;
    const Point centre = toRaster(Point{window.midX(), window.midY() + glowLift * window.height}, height);
    const raster::RadialGradient glow{centre, 0, glowReach * std::max(window.width, window.height),
                                      raster::GradientRamp::between(colorOf(backdrop.glow, glowAlpha),
                                                                    colorOf(backdrop.glow, 0))};
    raster::compositeOver(canvas, raster::renderGradient(glow, area));
    return std::move(canvas).freeze();
}

Image baseBackdrop(const Look& look, const Rect& window, int width, int height, raster::WorkerPool& pool) {
    if (look.wallpaper) {
        if (std::optional<Image> picture = wallpaperFill(*look.wallpaper, width, height, pool)) return *picture;
    }
    if (look.solid) return raster::solidImage(colorOf(*look.solid), {0, 0, width, height});
    return gradientBackdrop(look.backdrop, window, width, height);
}

} // namespace

Compositor::Compositor(OutputFormat format, double sourceAspect, const Look& look, const Cards& cards, double scale,
                       std::optional<NRect> crop, std::optional<CameraStyle> camera, PointerStyle pointer,
                       std::optional<CaptionLook> captions, raster::WorkerPool& pool)
    : pool_(&pool), format_(format), scale_(scale), width_(canvasSize(format, scale).x),
      height_(canvasSize(format, scale).y),
      window_(CompositorGeometry::window(format, sourceAspect, look.padding, scale, height_)),
      radius_(CompositorGeometry::cornerRadius(format, look.radius, scale)), pointerStyle_(std::move(pointer)),
      captions_(std::move(captions)), crop_(crop) {
    const double W = width_;
    const double H = height_;
    const double s = scale_;
    const Rect windowOnImage = toRaster(window_, H);

    windowMask_ = WindowComposite(stretchedRoundedRectangle(windowOnImage, radius_, white));

    Bitmap backdrop = Bitmap::copyOf(baseBackdrop(look, window_, width_, height_, pool));
    if (look.blur > smallestBlur) {
        backdrop = Bitmap::copyOf(raster::gaussianBlur(std::move(backdrop).freeze(), look.blur * s, raster::Edges::clamp, pool));
    }
    // A wallpaper is measured (whether or not it loaded); colours and backdrops say themselves.
    if (look.wallpaper) {
        const Image view(backdrop.storage(), backdrop.bits(), width_, height_, backdrop.stride());
        light_ = Overlays::luma(view, {0, 0, width_, height_}) > lightWallpaperLuma;
    } else {
        light_ = look.isLight();
    }

    if (look.shadow > faintestShadow) {
        const double alpha = look.shadow * (light_ ? lightShadowAlpha : darkShadowAlpha);
        const Image shape = stretchedRoundedRectangle(toRaster(lowered(window_, shadowDrop * H), H), radius_,
                                                     Color::gray(0, alpha));
        raster::compositeOver(backdrop, raster::gaussianBlur(shape, shadowSpread * W, raster::Edges::transparent, pool), pool);
    }
    raster::compositeOver(backdrop,
                          stretchedRoundedRectangle(toRaster(grown(window_, rimWidth * s), H), radius_ + rimWidth * s,
                                                   light_ ? lightRim : darkRim),
                          pool);

    if (cards.header && format != OutputFormat::youtube) {
        const double band = headerBand(format, s);
        const Image view(backdrop.storage(), backdrop.bits(), width_, height_, backdrop.stride());
        const bool darkText = Overlays::luma(view, {0, 0, width_, int(std::lround(band))}) > darkInkLuma;
        const bool tall = format == OutputFormat::shorts;
        const Image block = Overlays::textBlock(cards.title, cards.subtitle, W - headerMargin * s,
                                                (tall ? tallHeaderTitle : headerTitle) * s, darkText ? darkInk : white);
        // Centred in the band, a little lower except in the tall format.
        const double drop = tall ? 0.0 : headerDrop * s;
        const Rect place{(W - block.width()) * 0.5, (H - band) + (band - block.height()) * 0.5 - drop,
                         double(block.width()), double(block.height())};
        const Rect onImage = toRaster(place, H);
        // On whole pixels, so that the text stays crisp.
        raster::compositeOver(backdrop, block.placedAt({int(std::lround(onImage.x)), int(std::lround(onImage.y))}), pool);
    }
    backdrop_ = std::move(backdrop).freeze();

    pointerImage_ = Overlays::pointer(pointerStyle_.style);
    rippleImage_ = pointerStyle_.effect == "spotlight" ? Overlays::spotlight() : Overlays::ripple(pointerStyle_.effect == "ring");
    if (!cards.title.empty()) {
        titleCard_ = Overlays::textBlock(cards.title, cards.subtitle, titleCardWidth * window_.width, titleCardSize * s, white);
    }
    if (!cards.endTitle.empty()) endCard_ = Overlays::endCard(cards.endTitle, cards.endSubtitle, s);

    if (camera) {
        Bubble bubble;
        bubble.place = CompositorGeometry::bubble(*camera, W, H, s, format, cards.header);
        const Rect& rect = bubble.place.rect;
        const double side = rect.width;
        const double ring = bubble.place.ring;
        const Image shadow = raster::gaussianBlur(
            stretchedRoundedRectangle(toRaster(lowered(rect, bubbleShadowDrop * side), H), bubble.place.radius,
                                     Color::gray(0, bubbleShadowAlpha)),
            bubbleShadowSpread * side, raster::Edges::transparent, pool);
        const Image band = stretchedRoundedRectangle(toRaster(grown(rect, ring), H), bubble.place.radius + ring,
                                                    Color::gray(1, camera->border ? borderRingAlpha : thinRingAlpha));
        const IntRect canvasArea{0, 0, width_, height_};
        const IntRect shadowArea = shadow.isNull() ? band.extent() : shadow.extent();
        const IntRect area{std::min(shadowArea.x, band.extent().x), std::min(shadowArea.y, band.extent().y),
                           std::max(shadowArea.right(), band.extent().right()) - std::min(shadowArea.x, band.extent().x),
                           std::max(shadowArea.bottom(), band.extent().bottom()) - std::min(shadowArea.y, band.extent().y)};
        Bitmap under(area.intersected(canvasArea));
        if (!under.isNull()) {
            raster::compositeOver(under, shadow, pool);
            raster::compositeOver(under, band, pool);
            bubble.under = std::move(under).freeze();
        }
        bubble.mask = stretchedRoundedRectangle(toRaster(rect, H), bubble.place.radius, white);
        bubble.mirror = camera->mirror;
        bubble_ = std::move(bubble);
    }
}

std::size_t Compositor::cachedOverlays() const {
    std::lock_guard lock(cacheLock_);
    return cache_.size();
}

} // namespace vi
