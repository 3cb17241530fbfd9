// How long the tests wait. A limit says how long to wait for something that must happen (a line, a
// message, a process's end) or how late a run may end at the most; it is never a claim of speed
// (those are benchmarks). Sanitizer builds run several times slower, so every limit is scaled by the
// one factor the build sets (ORVANE_TEST_TIME_FACTOR, from tests/CMakeLists.txt). The waiting helpers
// of the test support (Pty, TestOwner, DiagCapture, gui_test::WaitFor, CliProcess) scale the limits
// they are given themselves; a test that checks a run's duration scales its upper bound with Limit().
#pragma once

#include <chrono>

namespace test_time {

constexpr int kFactor = ORVANE_TEST_TIME_FACTOR;
static_assert(kFactor >= 1, "ORVANE_TEST_TIME_FACTOR only ever lengthens the limits");

// `limit` as this build needs it.
template <class Rep, class Period>
constexpr std::chrono::duration<Rep, Period> Limit(std::chrono::duration<Rep, Period> limit) {
    return limit * kFactor;
}

}  // namespace test_time
