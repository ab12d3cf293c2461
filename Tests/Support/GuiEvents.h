#pragma once

#include <chrono>

namespace vi::test {

// Runs the GUI thread's events for a while, for tests of calls that arrive there.
void spin(std::chrono::milliseconds duration);

} // namespace vi::test
