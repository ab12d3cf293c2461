// The input log of an hour-long recording: the replan's activity queries (one window per quarter
// second, reaching 0.5 s beyond each side, as the planner asks) answered by binary search against
// the plain walk over the same log as the baseline, and reading and writing its "input.json".
// Target: all queries of one replan of an hour in under 5 ms on one core.
#include "RecordCore/InputLog.h"

#include "Support/TestOutput.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

using namespace vi;

constexpr double kHour = 3600;
constexpr double kSampleRate = 60;        // the input recorder's pointer sampling
constexpr double kQueryStep = 0.25;       // one classified stretch per quarter second
constexpr double kQueryMargin = 0.5;      // the planner's window reaches this far beyond each side
constexpr double kMoveThreshold = 0.004;
constexpr double kQueriesTargetMs = 5;
constexpr int kRounds = 5;

double millisecondsOf(const std::function<void()>& run) {
    std::vector<double> rounds;
    for (int i = 0; i < kRounds; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        run();
        rounds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    std::nth_element(rounds.begin(), rounds.begin() + kRounds / 2, rounds.end());
    return rounds[kRounds / 2];
}

// A session that alternates typing bursts, pointer work and long still waits.
std::pair<std::vector<CursorSample>, std::vector<Event>> session(double seconds) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> jitter(-0.01, 0.01);
    std::vector<CursorSample> cursor;
    std::vector<Event> events;
    double x = 0.5, y = 0.5;
    for (int i = 0; i < static_cast<int>(seconds * kSampleRate); ++i) {
        const double t = i / kSampleRate;
        const bool working = static_cast<int>(t / 40) % 3 == 0; // 40 s of work, 80 s of waiting
        if (working) {
            x = std::clamp(x + jitter(random), 0.0, 1.0);
            y = std::clamp(y + jitter(random), 0.0, 1.0);
            if (random() % 30 == 0) events.push_back({t, Event::Kind::key, std::nullopt, std::nullopt});
            if (random() % 240 == 0) events.push_back({t, Event::Kind::click, x, y});
        }
        cursor.push_back({t, x, y});
    }
    return {cursor, events};
}

int replanQueries(const InputLog& log, double seconds) {
    int active = 0;
    for (double t = 0; t < seconds; t += kQueryStep) {
        active += log.userActive(t - kQueryMargin, t + kQueryStep + kQueryMargin, kMoveThreshold) ? 1 : 0;
    }
    return active;
}

} // namespace

int main() {
    auto [cursor, events] = session(kHour);
    const InputLog ordered(cursor, events, true);
    // One stray sample at the end puts the log out of time order, which sends every query down
    // the plain walk: the baseline, with the same answers.
    cursor.push_back({-1, 0.5, 0.5});
    const InputLog walked(cursor, events, true);

    int activeOrdered = 0, activeWalked = 0;
    const double searchMs = millisecondsOf([&] { activeOrdered = replanQueries(ordered, kHour); });
    const double walkMs = millisecondsOf([&] { activeWalked = replanQueries(walked, kHour); });

    vi::test::TempDir dir;
    const auto file = dir / "input.json";
    const double saveMs = millisecondsOf([&] { ordered.save(file); });
    const double loadMs = millisecondsOf([&] { (void)InputLog::load(file); });
    std::string text;
    const double encodeMs = millisecondsOf([&] { text = ordered.encode(); });
    const double decodeMs = millisecondsOf([&] { (void)InputLog::decode(text); });

    std::printf("input log of one hour: %zu pointer samples, %zu events, %d of %d windows active (walk: %d)\n",
                ordered.cursor().size(), ordered.events().size(), activeOrdered, static_cast<int>(kHour / kQueryStep),
                activeWalked);
    std::printf("replan queries: binary search %.2f ms, walk %.1f ms, ratio %.0fx faster (target < %.0f ms: %s)\n",
                searchMs, walkMs, walkMs / searchMs, kQueriesTargetMs, searchMs < kQueriesTargetMs ? "met" : "MISSED");
    std::printf("input.json (%.1f MB): save %.0f ms (encode %.0f ms), load %.0f ms (decode %.0f ms)\n",
                static_cast<double>(std::filesystem::file_size(file)) / 1e6, saveMs, encodeMs, loadMs, decodeMs);
    return activeOrdered == activeWalked ? 0 : 1;
}
