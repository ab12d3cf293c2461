#include "Support/SyntheticSession.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vi::test {

namespace {

constexpr double pointerRate = 60;
constexpr double activityRate = 15;

enum class Phase { userWorking, agentWorking, waiting };

struct Stretch {
    Phase phase;
    double start;
    double end;
};

// Alternating stretches of 10 s to 2 min: mostly the user's work, then an agent's, with waits.
std::vector<Stretch> stretches(double seconds, std::mt19937& random) {
    std::uniform_real_distribution<double> length(10, 120);
    std::vector<Stretch> out;
    const Phase order[] = {Phase::userWorking, Phase::agentWorking, Phase::userWorking, Phase::waiting};
    for (double t = 0; t < seconds;) {
        const Phase phase = order[out.size() % 4];
        const double end = std::min(seconds, t + length(random));
        out.push_back({phase, t, end});
        t = end;
    }
    return out;
}

} // namespace

SyntheticSession makeSyntheticSession(double seconds, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    SyntheticSession session;
    session.info = SourceInfo{1920, 1080, seconds, 60, true};

    std::vector<InputLog::CursorSample> cursor;
    std::vector<InputLog::Event> events;
    double px = 0.5;
    double py = 0.5;
    std::size_t stretch = 0;
    const std::vector<Stretch> plan = stretches(seconds, random);
    if (plan.empty()) return session;

    const auto phaseAt = [&](double t) {
        while (stretch + 1 < plan.size() && plan[stretch].end <= t) ++stretch;
        return plan[stretch].phase;
    };

    // The pointer, keys and clicks: only while the user works.
    const auto pointerSamples = static_cast<std::size_t>(seconds * pointerRate);
    cursor.reserve(pointerSamples);
    for (std::size_t i = 0; i < pointerSamples; ++i) {
        const double t = static_cast<double>(i) / pointerRate;
        if (phaseAt(t) == Phase::userWorking) {
            px = std::clamp(px + (unit(random) - 0.5) * 0.01, 0.0, 1.0);
            py = std::clamp(py + (unit(random) - 0.5) * 0.01, 0.0, 1.0);
            if (unit(random) < 3.0 / pointerRate) {
                events.push_back({t, InputLog::Event::Kind::key, std::nullopt, std::nullopt});
                ++session.keyPresses;
            }
            if (unit(random) < 0.25 / pointerRate) {
                events.push_back({t, InputLog::Event::Kind::click, px, py});
                ++session.clicks;
            }
        }
        cursor.push_back({t, px, py});
    }

    // The screen: changes near the pointer while the user works, in a terminal-like region while
    // an agent works, hardly at all while waiting.
    stretch = 0;
    const auto activitySamples = static_cast<std::size_t>(seconds * activityRate);
    session.samples.reserve(activitySamples);
    for (std::size_t i = 0; i < activitySamples; ++i) {
        const double t = static_cast<double>(i) / activityRate;
        switch (phaseAt(t)) {
        case Phase::userWorking:
            session.samples.push_back({t, 0.01 + 0.03 * unit(random),
                                       NRect{std::clamp(px - 0.05, 0.0, 0.9), std::clamp(py - 0.03, 0.0, 0.94), 0.1, 0.06}});
            break;
        case Phase::agentWorking:
            session.samples.push_back({t, 0.005 + 0.02 * unit(random),
                                       NRect{0.55 + 0.1 * unit(random), 0.6 + 0.2 * unit(random), 0.3, 0.1}});
            break;
        case Phase::waiting:
            session.samples.push_back({t, 0.001 * unit(random), std::nullopt});
            break;
        }
    }

    session.log = InputLog(std::move(cursor), std::move(events), true);
    return session;
}

} // namespace vi::test
