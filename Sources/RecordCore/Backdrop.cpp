#include "RecordCore/Backdrop.h"

namespace vi {

const std::vector<std::string>& Backdrop::names() {
    static const std::vector<std::string> list{"night", "ember", "aurora", "graphite", "sunrise", "ocean", "paper", "snow"};
    return list;
}

const std::map<std::string, Backdrop, std::less<>>& Backdrop::presets() {
    static const std::map<std::string, Backdrop, std::less<>> table{
        {"night", {{0.05, 0.06, 0.13}, {0.13, 0.08, 0.24}, {0.36, 0.45, 1.0}, false}},
        {"ember", {{0.12, 0.06, 0.10}, {0.30, 0.12, 0.22}, {1.0, 0.62, 0.45}, false}},
        {"aurora", {{0.03, 0.10, 0.12}, {0.07, 0.07, 0.20}, {0.30, 0.95, 0.75}, false}},
        {"graphite", {{0.09, 0.09, 0.10}, {0.16, 0.16, 0.18}, {0.75, 0.78, 0.85}, false}},
        {"sunrise", {{0.98, 0.55, 0.38}, {0.62, 0.28, 0.72}, {1.0, 0.85, 0.55}, false}},
        {"ocean", {{0.10, 0.45, 0.85}, {0.05, 0.15, 0.45}, {0.45, 0.95, 1.0}, false}},
        {"paper", {{0.95, 0.94, 0.92}, {0.86, 0.85, 0.83}, {1.0, 1.0, 1.0}, true}},
        {"snow", {{0.90, 0.93, 1.0}, {0.80, 0.84, 0.96}, {1.0, 1.0, 1.0}, true}},
    };
    return table;
}

const Backdrop& Backdrop::standard() {
    static const Backdrop night = presets().at("night");
    return night;
}

} // namespace vi
