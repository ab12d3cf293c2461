#include "RecordCore/Seeded.h"

namespace vi {

namespace {
constexpr std::uint64_t startValue = 0x14650FB0739D0383ULL;
constexpr std::uint64_t foldPrime = 0x100000001B3ULL; // the 64-bit FNV prime
constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ULL;
constexpr double unitOf53Bits = 1.0 / 9007199254740992.0; // 2^-53
} // namespace

Seeded::Seeded(std::string_view text) : state(startValue) {
    for (char c : text) {
        state = (state ^ static_cast<unsigned char>(c)) * foldPrime;
    }
}

double Seeded::next() {
    state += golden;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = z ^ (z >> 31);
    return static_cast<double>(z >> 11) * unitOf53Bits;
}

double Seeded::in(double low, double high) {
    const double span = high - low;
    return low + span * next();
}

} // namespace vi
