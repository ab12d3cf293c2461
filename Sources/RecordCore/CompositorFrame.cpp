// Composing one output frame over the compositor's prepared layers.
#include "RecordCore/Compositor.h"

#include "Platform/Raster/Composite.h"
#include "Platform/Raster/Resample.h"
#include "Platform/Raster/Shapes.h"
#include "RecordCore/Overlays.h"
#include "RecordCore/Scene.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vi {

namespace {

using namespace CompositorGeometry;
using raster::Bitmap;
using raster::Color;
using raster::Image;
using raster::IntRect;
using raster::RectF;

// The pointer's size: this fraction of the window's height per unit of pointer scale, over the
// view's height, so that it grows as the view zooms in. The pointer image is drawn for a base
// of this many pixels, with its hot spot at (14, 10) from its top-left corner.
constexpr double pointerSize = 0.026;
constexpr double pointerImageBase = 118;
constexpr double hotSpotX = 14;
constexpr double hotSpotY = 10;
// Click effects, in units of the pointer's base size: a ring grows a little, a spotlight holds
// its size, and a ripple grows from small to large while it fades.
constexpr double ringStart = 1.1;
constexpr double ringGrowth = 0.3;
constexpr double spotlightSize = 2.6;
constexpr double rippleStart = 0.6;
constexpr double rippleGrowth = 1.6;
// Overlays fainter than this are not drawn at all.
constexpr double faintest = 0.01;
// Opacities and scales this close to 1 count as 1 (no fade, no transform).
constexpr double nearlyOne = 0.999;
// Pill and clock sit this far in from the window's corners.
constexpr double badgeInset = 22;
// Title card: a veil over the window, and the card rises this far into place as it fades in.
const Color titleVeil = Color::gray(0, 0.55);
constexpr double titleRise = 20;
// End card: a dark veil over the canvas, and the card settles this far from above.
const Color endVeil{0.02, 0.025, 0.05, 0.82};
constexpr double endSettle = 24;
// Caption lines may be this fraction of the canvas wide before they wrap.
constexpr double captionWidth = 0.86;
// Overlays larger than this many canvas sides are not drawn: only absurd sizes of a damaged
// project reach it, and their images would not fit in memory.
constexpr double largestOverlay = 4;

// One resampler per thread and pool: it keeps its filter tables and scratch between frames.
// Parts of the window repainted on their own use a second one, so that the whole window's
// tables survive them.
enum class Use { whole, part };
raster::Resampler& threadResampler(raster::WorkerPool& pool, Use use = Use::whole) {
    thread_local std::unique_ptr<raster::Resampler> resamplers[2];
    thread_local raster::WorkerPool* owners[2] = {nullptr, nullptr};
    const std::size_t k = use == Use::whole ? 0 : 1;
    if (!resamplers[k] || owners[k] != &pool) {
        resamplers[k] = std::make_unique<raster::Resampler>(pool);
        owners[k] = &pool;
    }
    return *resamplers[k];
}

// An overlay laid at an opacity without making a faded copy; opacities this close to 1 lay it
// as it is.
void layOver(Bitmap& onto, const Image& image, double opacity, raster::WorkerPool& pool) {
    raster::compositeOver(onto, image, opacity < nearlyOne ? opacity : 1.0, pool);
}

// A card and its veil are faded as one, so they are first drawn together in a bitmap kept per
// thread and reused while its extent holds (a canvas-sized allocation per frame otherwise).
Bitmap& threadVeil(const IntRect& extent) {
    thread_local Bitmap veil;
    if (veil.isNull() || veil.width() != extent.width || veil.height() != extent.height) veil = Bitmap(extent);
    veil.setOrigin({extent.x, extent.y});
    return veil;
}

// A bitmap's pixels seen as an image, without copying (valid while the bitmap is unchanged).
Image viewOf(Bitmap& bitmap) {
    return Image(bitmap.storage(), bitmap.bits(), bitmap.width(), bitmap.height(), bitmap.stride(), bitmap.origin());
}

Image placed(const Image& image, double x, double y) {
    return image.placedAt({int(std::lround(x)), int(std::lround(y))});
}

// A card at its resting place (whole pixels, so text is crisp) moved by a fraction of a pixel
// while it slides in.
Image sliding(const Image& card, double x, double y, double slide) {
    const double restX = std::round(x);
    const double restY = std::round(y);
    if (std::abs(slide) < 1e-9) return card.placedAt({int(restX), int(restY)});
    return raster::transformImage(card, 1, 1, restX, restY + slide, raster::ResampleFilter::bilinear);
}

IntRect united(const IntRect& a, const IntRect& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    return {left, top, std::max(a.right(), b.right()) - left, std::max(a.bottom(), b.bottom()) - top};
}

// A rectangle grown to even corners, inside `bounds`: 4:2:0 pictures share each colour sample
// between a 2 x 2 block, so areas redone in them must cover whole blocks.
IntRect evenOutward(const IntRect& rect, const IntRect& bounds) {
    const int left = rect.x & ~1;
    const int top = rect.y & ~1;
    const int right = (rect.right() + 1) & ~1;
    const int bottom = (rect.bottom() + 1) & ~1;
    return IntRect{left, top, right - left, bottom - top}.intersected(bounds);
}

// Adds an area to the changed ones, grown to whole 4:2:0 blocks (overlaps are joined later).
void addChange(std::vector<IntRect>& changed, const IntRect& extent, const IntRect& bounds) {
    const IntRect rect = evenOutward(extent, bounds);
    if (!rect.isEmpty()) changed.push_back(rect);
}

// Joins areas that overlap into their bounding box until none do, so that no pixel is
// painted and converted twice.
void mergeOverlapping(std::vector<IntRect>& areas) {
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < areas.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < areas.size(); ++j) {
                if (areas[i].intersected(areas[j]).isEmpty()) continue;
                areas[i] = united(areas[i], areas[j]);
                areas.erase(areas.begin() + std::ptrdiff_t(j));
                merged = true;
                break;
            }
        }
    }
}

bool usable(const NRect& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.w) && std::isfinite(v.h) && v.w > 0 && v.h > 0;
}

} // namespace

class Compositor::FramePainter {
public:
    FramePainter(const Compositor& compositor, const FrameState& state)
        : c_(compositor), state_(state), view_(usable(state.view) ? state.view : NRect::full()),
          H_(compositor.height_), pool_(*compositor.pool_) {
        pointerBase_ = c_.window_.height * state_.pointerScale * pointerSize / view_.h;
        largest_ = largestOverlay * std::max(c_.width_, c_.height_);
    }

    // Paints all of the canvas.
    void paint(const Image& source, const Image* camera, Bitmap& canvas) {
        const Layers layers = lay(camera);
        drawWithin(layers, source, canvas, layers.whole);
    }

    // Repaints what can differ from the frame `painted` describes (see Compositor::frameUpdate).
    std::vector<IntRect> update(const Image& source, const std::optional<std::vector<IntRect>>& sourceChanges,
                                const Image* camera, Bitmap& canvas, Painted& painted) {
        const Layers layers = lay(camera);
        const std::vector<IntRect> overlays = overlayAreas(layers);
        const bool title = titleCardShown();
        const bool endCard = endCardShown();
        // The end card covers everything, and a window reaching past its mask leaves backdrop
        // to draw around the mask: both take the whole canvas, as does a canvas of unknown past.
        const bool whole = painted.by != &c_ || painted.endCard || endCard ||
                           (layers.hasWindow && layers.area != layers.masked);
        std::vector<IntRect> changed;
        if (whole) {
            changed.push_back(layers.whole);
        } else {
            if (layers.hasWindow) {
                // The title card's veil spans the window; a new view moves every pixel of it.
                if (title || painted.title || !sourceChanges || !(painted.view == view_)) {
                    addChange(changed, layers.area, layers.whole);
                } else {
                    for (const IntRect& rect : *sourceChanges)
                        addChange(changed, onCanvas(source, rect).intersected(layers.area), layers.whole);
                }
            }
            // Overlays move and fade: where they were and where they are now.
            for (const std::vector<IntRect>* areas : {&std::as_const(painted.overlays), &overlays}) {
                for (const IntRect& rect : *areas) addChange(changed, rect, layers.whole);
            }
            mergeOverlapping(changed);
        }
        for (const IntRect& rect : changed) drawWithin(layers, source, canvas, rect);
        painted = Painted{&c_, view_, title, endCard, overlays};
        return changed;
    }

private:
    struct Laid {
        Image image; // placed on the canvas
        double opacity = 1;
    };

    struct BubbleParts {
        Image under;
        Image picture;
        Image mask;
        IntRect extent() const {
            IntRect all;
            for (const Image* image : {&under, &picture, &mask}) {
                if (!image->isNull()) all = united(all, image->extent());
            }
            return all;
        }
    };

    // Everything a frame lays on the canvas, placed before anything is drawn, so that its
    // areas are known first.
    struct Layers {
        IntRect whole;
        IntRect area;   // the window's pixels on the canvas
        IntRect masked; // the window mask's extent
        bool hasWindow = false;
        std::vector<Laid> inWindow; // click effects, then the pointer; clipped to the window
        std::optional<Laid> pill, clock, caption;
        std::optional<BubbleParts> bubble;
    };

    Layers lay(const Image* camera) const {
        Layers layers;
        layers.whole = {0, 0, c_.width_, c_.height_};
        layers.area = toRaster(c_.window_, H_).enclosingPixels().intersected(layers.whole);
        layers.hasWindow = !layers.area.isEmpty();
        layers.masked =
            c_.windowMask_.mask().isNull() ? IntRect{} : c_.windowMask_.mask().extent().intersected(layers.whole);
        layers.inWindow = ripples();
        if (std::optional<Laid> pointer = pointerOverlay()) layers.inWindow.push_back(std::move(*pointer));
        layers.pill = pillOverlay();
        layers.clock = clockOverlay();
        layers.bubble = camera ? bubbleParts(*camera) : std::nullopt;
        layers.caption = captionOverlay();
        return layers;
    }

    static std::vector<IntRect> overlayAreas(const Layers& layers) {
        std::vector<IntRect> areas;
        auto add = [&](const IntRect& rect) {
            if (!rect.isEmpty()) areas.push_back(rect);
        };
        for (const Laid& laid : layers.inWindow) add(laid.image.extent().intersected(layers.area));
        for (const std::optional<Laid>* laid : {&layers.pill, &layers.clock, &layers.caption}) {
            if (*laid) add((*laid)->image.extent().intersected(layers.whole));
        }
        if (layers.bubble) add(layers.bubble->extent().intersected(layers.whole));
        return areas;
    }

    // Paints the frame inside `rect` of the canvas, every pixel of it.
    void drawWithin(const Layers& layers, const Image& source, Bitmap& canvas, const IntRect& rect) {
        const bool all = rect == layers.whole;
        // The window's picture is drawn straight into its place on the canvas, clipped to the
        // window; the backdrop then fills in around it through the rounded mask.
        const IntRect windowPart = layers.area.intersected(rect);
        if (layers.hasWindow && !windowPart.isEmpty()) {
            Bitmap window = canvas.region(windowPart);
            drawSource(source, window, windowPart == layers.area ? Use::whole : Use::part);
            for (const Laid& laid : layers.inWindow) layOver(window, laid.image, laid.opacity, pool_);
            drawTitleCard(window);
        }
        c_.windowMask_.compose(canvas, c_.backdrop_, layers.hasWindow ? layers.area : IntRect{}, pool_, rect);
        Bitmap part = all ? Bitmap() : canvas.region(rect);
        Bitmap& onto = all ? canvas : part;
        if (layers.pill) layOver(onto, layers.pill->image, layers.pill->opacity, pool_);
        if (layers.clock) layOver(onto, layers.clock->image, layers.clock->opacity, pool_);
        if (layers.bubble) composeBubble(onto, layers.bubble->under, layers.bubble->picture, layers.bubble->mask, pool_);
        if (layers.caption) layOver(onto, layers.caption->image, layers.caption->opacity, pool_);
        drawEndCard(onto);
    }

    // The view in the recorded frame (inside the crop) and where it lands: the scale is the
    // window's width over the view's; the view's lower-left corner sits on the window's.
    std::pair<RectF, RectF> sourceMapping(const Image& source) const {
        NRect v = view_;
        if (c_.crop_) {
            const NRect& crop = *c_.crop_;
            v = {crop.x + v.x * crop.w, crop.y + v.y * crop.h, v.w * crop.w, v.h * crop.h};
        }
        const double sw = source.width();
        const double sh = source.height();
        const RectF from{source.origin().x + v.x * sw, source.origin().y + v.y * sh, v.w * sw, v.h * sh};
        const double k = c_.window_.width / from.width;
        const Rect onCanvas{c_.window_.x, c_.window_.y, from.width * k, from.height * k};
        return {from, toRaster(onCanvas, H_)};
    }

    // The canvas pixels that source pixels `rect` reach, with the filter's reach around them.
    IntRect onCanvas(const Image& source, const IntRect& rect) const {
        const auto [from, to] = sourceMapping(source);
        const double kx = to.width / from.width;
        const double ky = to.height / from.height;
        if (!std::isfinite(kx) || !std::isfinite(ky) || !(kx > 0) || !(ky > 0)) return toRaster(c_.window_, H_).enclosingPixels();
        // The widest filter reaches three source pixels each way, or three canvas pixels when
        // shrinking; two more cover rounding and the 4:2:0 blocks.
        const double reachX = 3 * std::max(1.0, kx) + 2;
        const double reachY = 3 * std::max(1.0, ky) + 2;
        const double left = to.x + (source.origin().x + rect.x - from.x) * kx - reachX;
        const double right = to.x + (source.origin().x + rect.right() - from.x) * kx + reachX;
        const double top = to.y + (source.origin().y + rect.y - from.y) * ky - reachY;
        const double bottom = to.y + (source.origin().y + rect.bottom() - from.y) * ky + reachY;
        return RectF{left, top, right - left, bottom - top}.enclosingPixels();
    }

    Point onImage(double x, double y) const { return toRaster(mapToCanvas(x, y, view_, c_.window_), H_); }
    bool fits(double size) const { return std::isfinite(size) && size > 0 && size < largest_; }

    void drawSource(const Image& source, Bitmap& layer, Use use) {
        const auto [from, to] = sourceMapping(source);
        threadResampler(pool_, use).render(source, from, to, layer);
    }

    std::vector<Laid> ripples() const {
        std::vector<Laid> laid;
        if (rippleImageMissing()) return laid;
        const std::string& effect = c_.pointerStyle_.effect;
        for (const FrameState::Ripple& ripple : state_.ripples) {
            const double p = ripple.progress;
            const double e = effect == "ring"        ? ringStart + ringGrowth * p
                             : effect == "spotlight" ? spotlightSize
                                                     : rippleStart + rippleGrowth * p;
            const double d = e * pointerBase_;
            if (!fits(d)) continue;
            const Point centre = onImage(ripple.x, ripple.y);
            const double k = d / c_.rippleImage_.width();
            laid.push_back({raster::transformImage(c_.rippleImage_, k, k, centre.x - d / 2, centre.y - d / 2), 1 - p});
        }
        return laid;
    }

    bool rippleImageMissing() const { return c_.rippleImage_.isNull() || c_.rippleImage_.width() == 0; }

    std::optional<Laid> pointerOverlay() const {
        if (!state_.pointer || !(state_.pointer->opacity > faintest) || c_.pointerImage_.isNull()) return std::nullopt;
        const double k = pointerBase_ / pointerImageBase;
        if (!fits(k * c_.pointerImage_.height())) return std::nullopt;
        const Point at = onImage(state_.pointer->x, state_.pointer->y);
        return Laid{raster::transformImage(c_.pointerImage_, k, k, at.x - hotSpotX * k, at.y - hotSpotY * k),
                    state_.pointer->opacity};
    }

    bool titleCardShown() const { return state_.titleOpacity > faintest && !c_.titleCard_.isNull(); }

    // The card over a veil, faded as one, in the window: it rises into place as it appears.
    void drawTitleCard(Bitmap& layer) {
        const double opacity = state_.titleOpacity;
        if (!titleCardShown()) return;
        const Image& card = c_.titleCard_;
        const Rect window = toRaster(c_.window_, H_);
        Bitmap& veiled = threadVeil(layer.extent());
        raster::fillRect(veiled, veiled.extent(), titleVeil);
        raster::compositeOver(veiled,
                              sliding(card, window.midX() - card.width() * 0.5, window.midY() - card.height() * 0.5,
                                      titleRise * c_.scale_ * (1 - opacity)),
                              pool_);
        layOver(layer, viewOf(veiled), opacity, pool_);
    }

    std::optional<Laid> pillOverlay() const {
        if (!state_.pill || !(state_.pill->opacity > faintest)) return std::nullopt;
        const FrameState::Pill& pill = *state_.pill;
        const std::string key = "pill|" + std::to_string(pill.speed) + "|" + pill.label;
        const Image image = c_.cachedOverlay(key, [&] { return Overlays::pill(pill.speed, pill.label, c_.scale_); });
        const double inset = badgeInset * c_.scale_;
        const Rect place{c_.window_.x + c_.window_.width - image.width() - inset,
                         maxY(c_.window_) - image.height() - inset, double(image.width()), double(image.height())};
        const Rect at = toRaster(place, H_);
        return Laid{placed(image, at.x, at.y), pill.opacity};
    }

    std::optional<Laid> clockOverlay() const {
        if (!state_.clock) return std::nullopt;
        const std::string text = Scene::clock(*state_.clock);
        const Image image = c_.cachedOverlay("clock|" + text, [&] { return Overlays::clockBadge(text, c_.scale_); });
        const double inset = badgeInset * c_.scale_;
        const Rect place{c_.window_.x + inset, c_.window_.y + inset, double(image.width()), double(image.height())};
        const Rect at = toRaster(place, H_);
        return Laid{placed(image, at.x, at.y), 1};
    }

    // The camera's centred square in the bubble, over its baked shadow and ring; shrunk toward
    // its corner while the view is zoomed in.
    std::optional<BubbleParts> bubbleParts(const Image& camera) const {
        if (!c_.bubble_ || camera.isNull()) return std::nullopt;
        const Bubble& bubble = *c_.bubble_;
        const double shrink = state_.cameraScale;
        if (!(shrink > 0)) return std::nullopt;
        const bool scaled = shrink < nearlyOne;
        Rect rect = bubble.place.rect;
        const Point anchor = bubble.place.anchor;
        if (scaled) {
            rect = {anchor.x + shrink * (rect.x - anchor.x), anchor.y + shrink * (rect.y - anchor.y), rect.width * shrink,
                    rect.height * shrink};
        }
        const Rect onImage = toRaster(rect, H_);
        Image under = bubble.under;
        Image mask = bubble.mask;
        if (scaled) {
            const Point pivot = toRaster(anchor, H_);
            // Two-tap filtering is enough for a soft shadow and a smooth edge shrunk by at most a
            // quarter, and four times cheaper than the windowed filter on a bubble that moves.
            const double offsetX = pivot.x * (1 - shrink);
            const double offsetY = pivot.y * (1 - shrink);
            under = raster::transformImage(under, shrink, shrink, offsetX, offsetY, raster::ResampleFilter::bilinear);
            mask = raster::transformImage(mask, shrink, shrink, offsetX, offsetY, raster::ResampleFilter::bilinear);
        }
        const double q = std::min(camera.width(), camera.height());
        const RectF square{camera.origin().x + (camera.width() - q) * 0.5, camera.origin().y + (camera.height() - q) * 0.5,
                           q, q};
        const Image picture = threadResampler(pool_).resample(
            camera, square, onImage, {raster::Edges::clamp, raster::ResampleFilter::automatic, bubble.mirror});
        return BubbleParts{std::move(under), picture, std::move(mask)};
    }

    std::optional<Laid> captionOverlay() const {
        if (!state_.caption || !(state_.caption->opacity > faintest) || !c_.captions_) return std::nullopt;
        const FrameState::Caption& caption = *state_.caption;
        const CaptionLook& look = *c_.captions_;
        if (caption.line < 0 || std::size_t(caption.line) >= look.lines.size()) return std::nullopt;
        const int active = look.style == "highlight" ? caption.word : -1;
        const std::string key = "cap|" + std::to_string(caption.line) + "|" + std::to_string(active);
        const double W = c_.width_;
        const Image image = c_.cachedOverlay(key, [&] {
            return Overlays::captionLine(look.lines[std::size_t(caption.line)], active, look.style, look.size * H_,
                                         captionWidth * W);
        });
        const Rect place{(W - image.width()) * 0.5, look.bottom * H_, double(image.width()), double(image.height())};
        const Rect at = toRaster(place, H_);
        return Laid{placed(image, at.x, at.y), caption.opacity};
    }

    bool endCardShown() const { return state_.endOpacity > faintest && !c_.endCard_.isNull(); }

    // The end card over a veil of the whole canvas, faded as one; it settles from above.
    void drawEndCard(Bitmap& canvas) {
        const double opacity = state_.endOpacity;
        if (!endCardShown()) return;
        const Image& card = c_.endCard_;
        Bitmap& veiled = threadVeil({0, 0, c_.width_, c_.height_});
        raster::fillRect(veiled, veiled.extent(), endVeil);
        raster::compositeOver(veiled,
                              sliding(card, (c_.width_ - card.width()) * 0.5, (H_ - card.height()) * 0.5,
                                      -endSettle * c_.scale_ * (1 - opacity)),
                              pool_);
        layOver(canvas, viewOf(veiled), opacity, pool_);
    }

    const Compositor& c_;
    const FrameState& state_;
    NRect view_;
    double H_;
    raster::WorkerPool& pool_;
    double pointerBase_ = 0;
    double largest_ = 0;
};

Image Compositor::frame(const Image& source, const FrameState& state, const Image* camera) const {
    Bitmap canvas(width_, height_);
    frame(source, state, camera, canvas);
    return std::move(canvas).freeze();
}

void Compositor::frame(const Image& source, const FrameState& state, const Image* camera, Bitmap& into) const {
    if (into.isNull() || into.width() != width_ || into.height() != height_) into = Bitmap(width_, height_);
    into.setOrigin({0, 0});
    FramePainter(*this, state).paint(source, camera, into);
}

std::vector<IntRect> Compositor::frameUpdate(const Image& source, const std::optional<std::vector<IntRect>>& sourceChanges,
                                             const FrameState& state, const Image* camera, Bitmap& canvas,
                                             Painted& painted) const {
    if (canvas.isNull() || canvas.width() != width_ || canvas.height() != height_) {
        canvas = Bitmap(width_, height_);
        painted = {};
    }
    canvas.setOrigin({0, 0});
    return FramePainter(*this, state).update(source, sourceChanges, camera, canvas, painted);
}

} // namespace vi
