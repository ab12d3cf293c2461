#include "RecordCore/Wallpapers.h"

#include "RecordCore/WallpaperPainters.h"

#include <algorithm>

namespace vi::Wallpapers {

namespace {

using WallpaperPainters::Color;
using WallpaperPainters::MeshPalette;
using WallpaperPainters::PeaksVariant;
using WallpaperPainters::WavesPalette;

// Glow wallpapers get stronger grain: their smooth colour fields band without it.
constexpr double kMeshGrain = 0.05;
constexpr double kGrain = 0.035;

const WavesPalette& wavesPalette(std::string_view id) {
    static const WavesPalette sonora{{1.0, 0.9, 0.7},
                                     {{{1.0, 0.78, 0.42}, {1.0, 0.52, 0.36}, {0.93, 0.33, 0.46}, {0.66, 0.24, 0.55},
                                       {0.36, 0.18, 0.48}}}};
    static const WavesPalette tide{{0.8, 0.95, 1.0},
                                   {{{0.62, 0.9, 1.0}, {0.33, 0.72, 0.98}, {0.18, 0.5, 0.92}, {0.12, 0.3, 0.75},
                                     {0.08, 0.15, 0.45}}}};
    static const WavesPalette bloom{{1.0, 0.92, 0.96},
                                    {{{1.0, 0.8, 0.9}, {0.98, 0.56, 0.78}, {0.82, 0.38, 0.85}, {0.55, 0.3, 0.85},
                                      {0.3, 0.2, 0.6}}}};
    static const WavesPalette forest{{0.92, 1.0, 0.88},
                                     {{{0.8, 0.95, 0.7}, {0.5, 0.82, 0.55}, {0.25, 0.62, 0.45}, {0.12, 0.42, 0.36},
                                       {0.06, 0.24, 0.24}}}};
    if (id == "wave-tide") return tide;
    if (id == "wave-bloom") return bloom;
    if (id == "wave-forest") return forest;
    return sonora;
}

const MeshPalette& meshPalette(std::string_view id) {
    static const MeshPalette nebula{{0.05, 0.04, 0.14},
                                    {{0.45, 0.3, 1.0}, {0.95, 0.35, 0.75}, {0.25, 0.55, 1.0}, {0.6, 0.2, 0.7}}};
    static const MeshPalette midnight{{0.02, 0.03, 0.08},
                                      {{0.2, 0.3, 0.85}, {0.35, 0.25, 0.75}, {0.1, 0.45, 0.7}, {0.05, 0.1, 0.3}}};
    static const MeshPalette lagoon{{0.02, 0.12, 0.18},
                                    {{0.1, 0.8, 0.8}, {0.2, 0.5, 1.0}, {0.4, 0.95, 0.7}, {0.1, 0.3, 0.6}}};
    static const MeshPalette citrus{{1.0, 0.6, 0.3},
                                    {{1.0, 0.85, 0.3}, {1.0, 0.4, 0.45}, {1.0, 0.7, 0.2}, {0.95, 0.3, 0.6}}};
    static const MeshPalette sorbet{{0.98, 0.86, 0.85},
                                    {{1.0, 0.7, 0.62}, {0.85, 0.72, 1.0}, {1.0, 0.8, 0.9}, {0.7, 0.85, 1.0}}};
    static const MeshPalette mint{{0.88, 0.97, 0.95},
                                  {{0.6, 0.95, 0.85}, {0.7, 0.85, 1.0}, {0.85, 1.0, 0.8}, {0.6, 0.8, 0.95}}};
    static const MeshPalette ember{{0.1, 0.03, 0.04},
                                   {{1.0, 0.35, 0.2}, {0.85, 0.15, 0.3}, {1.0, 0.6, 0.25}, {0.5, 0.1, 0.25}}};
    if (id == "mesh-midnight") return midnight;
    if (id == "mesh-lagoon") return lagoon;
    if (id == "mesh-citrus") return citrus;
    if (id == "mesh-sorbet") return sorbet;
    if (id == "mesh-mint") return mint;
    if (id == "mesh-ember") return ember;
    return nebula;
}

std::optional<raster::Image> paint(std::string_view id, double width, double height, Seeded& rng) {
    namespace P = WallpaperPainters;
    if (id == "orbit") return P::orbit(width, height, rng, false);
    if (id == "orbit-dawn") return P::orbit(width, height, rng, true);
    if (id == "eclipse") return P::eclipse(width, height, rng);
    if (id == "peaks-dusk") return P::peaks(width, height, rng, PeaksVariant::dusk);
    if (id == "peaks-dawn") return P::peaks(width, height, rng, PeaksVariant::dawn);
    if (id == "fjord") return P::peaks(width, height, rng, PeaksVariant::fjord);
    if (id == "dunes") return P::dunes(width, height, rng);
    if (id.starts_with("wave-")) return P::waves(width, height, rng, wavesPalette(id));
    return P::mesh(width, height, rng, meshPalette(id));
}

} // namespace

const std::vector<Item>& all() {
    static const std::vector<Item> items{
        {"orbit", "Orbit", "Space"},
        {"orbit-dawn", "Orbit Dawn", "Space"},
        {"eclipse", "Eclipse", "Space"},
        {"peaks-dusk", "Dusk Peaks", "Landscape"},
        {"peaks-dawn", "Dawn Peaks", "Landscape"},
        {"fjord", "Fjord", "Landscape"},
        {"dunes", "Dunes", "Landscape"},
        {"wave-sonora", "Sonora", "Waves"},
        {"wave-tide", "Tide", "Waves"},
        {"wave-bloom", "Bloom", "Waves"},
        {"wave-forest", "Grove", "Waves"},
        {"mesh-nebula", "Nebula", "Glow"},
        {"mesh-midnight", "Midnight", "Glow"},
        {"mesh-lagoon", "Lagoon", "Glow"},
        {"mesh-citrus", "Citrus", "Glow"},
        {"mesh-sorbet", "Sorbet", "Glow"},
        {"mesh-mint", "Mint", "Glow"},
        {"mesh-ember", "Ember", "Glow"},
    };
    return items;
}

const Item* find(std::string_view id) {
    const auto& items = all();
    const auto found = std::find_if(items.begin(), items.end(), [id](const Item& item) { return item.id == id; });
    return found == items.end() ? nullptr : &*found;
}

std::optional<raster::Image> render(std::string_view id, double width, double height) {
    if (find(id) == nullptr) {
        return std::nullopt;
    }
    Seeded rng(id);
    std::optional<raster::Image> painted = paint(id, width, height, rng);
    if (!painted) {
        return std::nullopt;
    }
    return grain(*painted, id.starts_with("mesh") ? kMeshGrain : kGrain);
}

} // namespace vi::Wallpapers
