#pragma once

#include "RecordCore/NRect.h"
#include "RecordCore/SpeedSegment.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace vi {

inline std::ostream& operator<<(std::ostream& out, const NRect& r) {
    return out << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

inline std::ostream& operator<<(std::ostream& out, const SpeedSegment& s) {
    return out << "[" << s.start << ", " << s.end << "] x" << s.speed << " " << SpeedSegment::rawValue(s.reason);
}

namespace test {

// Rectangles compared to the precision worked examples are written in.
inline void expectRectNear(const NRect& actual, const NRect& expected, double tolerance = 1e-4) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << actual;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << actual;
    EXPECT_NEAR(actual.w, expected.w, tolerance) << actual;
    EXPECT_NEAR(actual.h, expected.h, tolerance) << actual;
}

// Segments compared with exact speeds and reasons and times within rounding noise.
inline void expectSegments(const std::vector<SpeedSegment>& actual, const std::vector<SpeedSegment>& expected) {
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "segment " << i << " " << actual[i]);
        EXPECT_NEAR(actual[i].start, expected[i].start, 1e-9);
        EXPECT_NEAR(actual[i].end, expected[i].end, 1e-9);
        EXPECT_DOUBLE_EQ(actual[i].speed, expected[i].speed);
        EXPECT_EQ(actual[i].reason, expected[i].reason);
    }
}

} // namespace test
} // namespace vi
