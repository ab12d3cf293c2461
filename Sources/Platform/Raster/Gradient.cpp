#include "Platform/Raster/Gradient.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vi::raster {

namespace {

// Entries of the colour table along t: far finer than the 256 levels a channel can show.
constexpr int kTableSize = 4096;

class Ramp {
public:
    explicit Ramp(const GradientRamp& ramp) : extendBefore_(ramp.extendBefore), extendAfter_(ramp.extendAfter) {
        std::vector<GradientStop> stops = ramp.stops;
        std::stable_sort(stops.begin(), stops.end(),
                         [](const GradientStop& a, const GradientStop& b) { return a.location < b.location; });
        table_.resize(kTableSize + 1);
        for (int i = 0; i <= kTableSize; ++i) {
            table_[std::size_t(i)] = colourAt(stops, double(i) / kTableSize);
        }
    }

    Pixel at(double t) const {
        if (!(t >= 0.0)) { // also NaN, as for a zero-length gradient
            if (!extendBefore_) {
                return {};
            }
            t = 0.0;
        } else if (t > 1.0) {
            if (!extendAfter_) {
                return {};
            }
            t = 1.0;
        }
        return table_[std::size_t(std::lround(t * kTableSize))];
    }

private:
    static Pixel colourAt(const std::vector<GradientStop>& stops, double t) {
        if (stops.empty()) {
            return {};
        }
        if (t <= stops.front().location) {
            return stops.front().color.pixel();
        }
        for (std::size_t i = 1; i < stops.size(); ++i) {
            if (t <= stops[i].location) {
                const double span = stops[i].location - stops[i - 1].location;
                const double f = span > 0 ? (t - stops[i - 1].location) / span : 1.0;
                const auto a = stops[i - 1].color.premultiplied();
                const auto b = stops[i].color.premultiplied();
                auto mix = [f](float x, float y) { return std::uint8_t(std::lround(x + (y - x) * f)); };
                return {mix(a.b, b.b), mix(a.g, b.g), mix(a.r, b.r), mix(a.a, b.a)};
            }
        }
        return stops.back().color.pixel();
    }

    bool extendBefore_;
    bool extendAfter_;
    std::vector<Pixel> table_;
};

template <typename ParameterAt>
Image render(const GradientRamp& gradientRamp, const IntRect& area, ParameterAt parameterAt) {
    const Ramp ramp(gradientRamp);
    Bitmap bitmap(area);
    for (int y = 0; y < area.height; ++y) {
        Pixel* row = bitmap.pixels(y);
        const double py = area.y + y + 0.5;
        for (int x = 0; x < area.width; ++x) {
            row[x] = ramp.at(parameterAt(area.x + x + 0.5, py));
        }
    }
    return std::move(bitmap).freeze();
}

} // namespace

GradientRamp GradientRamp::even(const std::vector<Color>& colors) {
    GradientRamp ramp;
    for (std::size_t i = 0; i < colors.size(); ++i) {
        ramp.stops.push_back({colors.size() > 1 ? double(i) / double(colors.size() - 1) : 0.0, colors[i]});
    }
    return ramp;
}

Image renderGradient(const LinearGradient& gradient, const IntRect& area) {
    const double dx = gradient.end.x - gradient.start.x;
    const double dy = gradient.end.y - gradient.start.y;
    const double lengthSquared = dx * dx + dy * dy;
    return render(gradient.ramp, area, [&](double x, double y) {
        if (lengthSquared <= 0) {
            return 1.0; // a line of no length shows its end colour
        }
        return ((x - gradient.start.x) * dx + (y - gradient.start.y) * dy) / lengthSquared;
    });
}

Image renderGradient(const RadialGradient& gradient, const IntRect& area) {
    const double span = gradient.endRadius - gradient.startRadius;
    return render(gradient.ramp, area, [&](double x, double y) {
        const double distance = std::hypot(x - gradient.center.x, y - gradient.center.y);
        if (span == 0) {
            return distance < gradient.startRadius ? -1.0 : 2.0;
        }
        return (distance - gradient.startRadius) / span;
    });
}

} // namespace vi::raster
