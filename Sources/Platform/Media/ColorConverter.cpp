#include "Platform/Media/ColorConverter.h"

#include "Platform/Media/BandWorkers.h"
#include "Platform/Media/BgraToYuv.h"
#include "Platform/Media/MediaError.h"
#include "Platform/Media/PixelFormats.h"
#include "Platform/Media/YuvToBgra.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace vi::media {

namespace {

// Bilinear filtering for the chroma planes and for any scaling. The library's exact-rounding
// and full-chroma options would cost ten times as much for a code value or two.
constexpr int kScalerFlags = SWS_BILINEAR;

int swsColorspace(ColorMatrix matrix) { return matrix == ColorMatrix::bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601; }

// Pictures from about 640 x 360 up are worth splitting; smaller ones convert faster than the
// threads wake. Four bands take most of the gain without crowding the decoder's own threads.
constexpr long kSmallestBandedPicture = 640L * 360L;
constexpr int kMostBands = 4;
// Band edges fall on rows that every 4:2:0 and 4:1:0 layout starts a chroma row on.
constexpr int kBandRowMultiple = 4;

// The layouts our own loops take; everything else goes through libswscale.
template <class Side>
bool ownLoopToYuv(const Side& source, const Side& destination)
{
    return source.format == AV_PIX_FMT_BGRA && destination.format == AV_PIX_FMT_YUV420P;
}
template <class Side>
bool ownLoopToBgra(const Side& source, const Side& destination)
{
    return source.format == AV_PIX_FMT_YUV420P && source.range == ColorRange::limited &&
           destination.format == AV_PIX_FMT_BGRA;
}

int bandCount()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp<unsigned>(cores, 1, kMostBands));
}

} // namespace

// One side of a conversion in FFmpeg's terms.
struct ColorConverter::Side {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    std::array<const uint8_t*, 4> data{};
    std::array<int, 4> stride{};
    bool yuv = false;
    ColorMatrix matrix = ColorMatrix::bt709;
    ColorRange range = ColorRange::limited;
    int chromaRowShift = 0; // chroma planes have height >> this

    // Rows [top, top + rows) as a picture of their own.
    Side band(int top, int rows) const
    {
        Side part = *this;
        part.height = rows;
        for (size_t plane = 0; plane < 4; ++plane) {
            if (!data[plane])
                continue;
            const int planeTop = (plane == 1 || plane == 2) ? top >> chromaRowShift : top;
            part.data[plane] = data[plane] + static_cast<ptrdiff_t>(planeTop) * stride[plane];
        }
        return part;
    }

    static Side of(const ImageView& view, ColorMatrix matrix, ColorRange range, const char* role)
    {
        if (view.width <= 0 || view.height <= 0 || !view.data[0])
            throw MediaError(MediaErrorKind::invalidArgument, std::string("the ") + role + " picture is empty");
        Side side;
        side.format = detail::toAVPixelFormat(view.format);
        side.width = view.width;
        side.height = view.height;
        for (size_t plane = 0; plane < 3; ++plane) {
            side.data[plane] = view.data[plane];
            side.stride[plane] = view.stride[plane];
        }
        side.yuv = view.format != PixelFormat::bgra;
        side.matrix = matrix;
        side.range = range;
        side.chromaRowShift = side.yuv ? 1 : 0;
        return side;
    }
};

struct ColorConverter::Scaler {
    SwsContext* context = nullptr;
    // The colour set-up last given to `context`; redone only when it or the context changes.
    SwsContext* configuredFor = nullptr;
    int sourceSpace = -1, sourceFull = -1, destinationSpace = -1, destinationFull = -1;

    ~Scaler() { sws_freeContext(context); }
};

// The band threads and one scaler per band, made on the first large conversion.
struct ColorConverter::Bands {
    explicit Bands(int count) : workers(count), scalers(static_cast<size_t>(count)) {}
    detail::BandWorkers workers;
    std::vector<Scaler> scalers;
};

ColorConverter::ColorConverter(bool splitIntoBands)
    : scaler_(std::make_unique<Scaler>()), splitIntoBands_(splitIntoBands)
{
}
ColorConverter::~ColorConverter() = default;

void ColorConverter::convert(const ImageView& source, const ImageView& destination, ColorMatrix destinationMatrix,
                             ColorRange destinationRange)
{
    convertSides(Side::of(source, source.matrix, source.range, "source"),
                 Side::of(destination, destinationMatrix, destinationRange, "destination"));
}

void ColorConverter::convert(const ImageView& source, const PixelBuffer& destination)
{
    convert(source, destination.view(), destination.matrix(), destination.range());
}

void ColorConverter::convertFrame(const AVFrame* source, const PixelBuffer& destination)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(source->format));
    if (!descriptor || source->width <= 0 || source->height <= 0)
        throw MediaError(MediaErrorKind::readFailed, "a frame has a picture layout that cannot be converted",
                         "frame format " + std::to_string(source->format));
    Side side;
    side.format = static_cast<AVPixelFormat>(source->format);
    side.width = source->width;
    side.height = source->height;
    for (size_t plane = 0; plane < 4; ++plane) {
        side.data[plane] = source->data[plane];
        side.stride[plane] = source->linesize[plane];
    }
    side.yuv = (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0;
    side.chromaRowShift = descriptor->log2_chroma_h;
    side.matrix = detail::matrixOf(source);
    side.range = detail::rangeOf(source);
    convertSides(side, Side::of(destination.view(), destination.matrix(), destination.range(), "destination"));
}

void ColorConverter::convertSides(const Side& source, const Side& destination)
{
    const bool sameSize = source.width == destination.width && source.height == destination.height;
    const bool large = static_cast<long>(source.width) * source.height >= kSmallestBandedPicture;
    if (sameSize && large && !bands_ && splitIntoBands_) {
        const int count = bandCount();
        if (count > 1)
            bands_ = std::make_unique<Bands>(count);
    }

    struct Job {
        ColorConverter* converter;
        const Side* source;
        const Side* destination;
        int rowsPerBand;
    };
    // Every written frame takes the BGRA to 4:2:0 path, and every decoded source frame the
    // 4:2:0 to BGRA one: our own loops are several times faster than the library's.
    const bool ownLoop = sameSize && (ownLoopToYuv(source, destination) || ownLoopToBgra(source, destination));
    auto convertBand = [](const Job& job, Scaler& scaler, int top, int rows) {
        const Side from = job.source->band(top, rows);
        const Side to = job.destination->band(top, rows);
        if (from.width == to.width && from.height == to.height && ownLoopToBgra(from, to)) {
            ImageView yuv{PixelFormat::yuv420p, from.width, from.height, {from.data[0], from.data[1], from.data[2]},
                          {from.stride[0], from.stride[1], from.stride[2]}};
            ImageView bgra{PixelFormat::bgra, to.width, to.height, {to.data[0]}, {to.stride[0]}};
            detail::yuv420ToBgra(yuv, bgra, from.matrix);
            return;
        }
        if (from.width == to.width && from.height == to.height && ownLoopToYuv(from, to)) {
            ImageView bgra{PixelFormat::bgra, from.width, from.height, {from.data[0]}, {from.stride[0]}};
            ImageView yuv{PixelFormat::yuv420p, to.width, to.height, {to.data[0], to.data[1], to.data[2]},
                          {to.stride[0], to.stride[1], to.stride[2]}};
            detail::bgraToYuv420(bgra, yuv, to.matrix, to.range);
            return;
        }
        job.converter->scale(scaler, from, to);
    };

    if (!sameSize || !large || !bands_) {
        const Job job{this, &source, &destination, source.height};
        if (ownLoop)
            convertBand(job, *scaler_, 0, source.height);
        else
            scale(*scaler_, source, destination);
        return;
    }

    const int count = bands_->workers.bands();
    const int rowsPerBand = (source.height / count + kBandRowMultiple - 1) / kBandRowMultiple * kBandRowMultiple;
    Job job{this, &source, &destination, rowsPerBand};
    struct Context {
        Job job;
        decltype(convertBand)& function;
        Bands& bands;
        std::array<std::exception_ptr, kMostBands> failures{}; // one slot per band, so no lock
    } context{job, convertBand, *bands_};
    bands_->workers.run(
        [](void* opaque, int band) {
            auto& c = *static_cast<Context*>(opaque);
            const int top = band * c.job.rowsPerBand;
            const int rows = std::min(c.job.rowsPerBand, c.job.source->height - top);
            try {
                if (rows > 0)
                    c.function(c.job, c.bands.scalers[static_cast<size_t>(band)], top, rows);
            } catch (...) {
                c.failures[static_cast<size_t>(band)] = std::current_exception();
            }
        },
        &context);
    for (const std::exception_ptr& failure : context.failures)
        if (failure)
            std::rethrow_exception(failure);
}

void ColorConverter::scale(Scaler& s, const Side& source, const Side& destination)
{
    s.context = sws_getCachedContext(s.context, source.width, source.height, source.format, destination.width,
                                     destination.height, destination.format, kScalerFlags, nullptr, nullptr, nullptr);
    if (!s.context)
        throw MediaError(MediaErrorKind::invalidArgument, "the picture cannot be converted",
                         "sws_getCachedContext refused the conversion");

    // RGB sides are full range by definition, and libswscale ignores the matrix of an RGB side.
    const int sourceSpace = swsColorspace(source.yuv ? source.matrix : destination.matrix);
    const int destinationSpace = swsColorspace(destination.yuv ? destination.matrix : source.matrix);
    const int sourceFull = source.yuv ? (source.range == ColorRange::full) : 1;
    const int destinationFull = destination.yuv ? (destination.range == ColorRange::full) : 1;
    if (s.configuredFor != s.context || s.sourceSpace != sourceSpace || s.sourceFull != sourceFull ||
        s.destinationSpace != destinationSpace || s.destinationFull != destinationFull) {
        constexpr int kNeutralBrightness = 0, kNeutralContrast = 1 << 16, kNeutralSaturation = 1 << 16;
        sws_setColorspaceDetails(s.context, sws_getCoefficients(sourceSpace), sourceFull,
                                 sws_getCoefficients(destinationSpace), destinationFull, kNeutralBrightness,
                                 kNeutralContrast, kNeutralSaturation);
        s.configuredFor = s.context;
        s.sourceSpace = sourceSpace;
        s.sourceFull = sourceFull;
        s.destinationSpace = destinationSpace;
        s.destinationFull = destinationFull;
    }

    uint8_t* const destinationPlanes[4] = {const_cast<uint8_t*>(destination.data[0]),
                                           const_cast<uint8_t*>(destination.data[1]),
                                           const_cast<uint8_t*>(destination.data[2]), nullptr};
    sws_scale(s.context, source.data.data(), source.stride.data(), 0, source.height, destinationPlanes,
              destination.stride.data());
}

Rgb yuvToRgb(uint8_t y, uint8_t cb, uint8_t cr, ColorMatrix matrix, ColorRange range)
{
    // Kr and Kb of the two matrices; Kg follows from them.
    const double kr = matrix == ColorMatrix::bt709 ? 0.2126 : 0.299;
    const double kb = matrix == ColorMatrix::bt709 ? 0.0722 : 0.114;
    const double kg = 1.0 - kr - kb;
    const bool limited = range == ColorRange::limited;
    const double luma = limited ? (y - 16.0) / 219.0 : y / 255.0;
    const double blueDifference = limited ? (cb - 128.0) / 224.0 : (cb - 128.0) / 255.0;
    const double redDifference = limited ? (cr - 128.0) / 224.0 : (cr - 128.0) / 255.0;
    const double r = luma + 2.0 * (1.0 - kr) * redDifference;
    const double b = luma + 2.0 * (1.0 - kb) * blueDifference;
    const double g = (luma - kr * r - kb * b) / kg;
    auto toByte = [](double value) { return static_cast<uint8_t>(std::clamp(std::lround(value * 255.0), 0L, 255L)); };
    return {toByte(r), toByte(g), toByte(b)};
}

} // namespace vi::media
