// Posted messages and window timers: both reach the message map on the GUI thread, posted messages
// in the order they were posted, whatever thread posted them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "framework/LastError.h"
#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kShortPeriod = 10ms;
// Longer than any test waits for a tick, scaled or not.
constexpr std::chrono::milliseconds kLongPeriod = std::chrono::hours(1);

UINT Millis(std::chrono::milliseconds period) {
    return static_cast<UINT>(period.count());
}

size_t Count(const std::vector<UINT_PTR>& ticks, UINT_PTR id) {
    return static_cast<size_t>(std::count(ticks.begin(), ticks.end(), id));
}

class TimerScale {
public:
    explicit TimerScale(double scale) { AfxSetTimerScale(scale); }
    ~TimerScale() { AfxSetTimerScale(1.0); }
};

using WindowMessagesTest = TestDialogFixture;

TEST_F(WindowMessagesTest, MessagesPostedFromAnotherThreadArriveInOrder) {
    constexpr int kCount = 10000;
    std::atomic<int> refused{0};
    std::thread poster([&] {
        for (int i = 0; i < kCount; ++i) {
            if (!m_dialog.PostMessage(WM_TEST_POSTED, static_cast<WPARAM>(i), 0))
                ++refused;
        }
    });
    poster.join();
    EXPECT_EQ(refused.load(), 0);
    ASSERT_TRUE(gui_test::WaitFor([&] { return m_dialog.m_posted.size() >= kCount; }));
    std::vector<WPARAM> expected(kCount);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(m_dialog.m_posted, expected);
}

TEST_F(WindowMessagesTest, PostingToAWindowThatIsGoneFailsAndDeliversNothing) {
    const HWND hwnd = m_dialog.GetSafeHwnd();
    for (WPARAM i = 0; i < 100; ++i)
        ASSERT_TRUE(m_dialog.PostMessage(WM_TEST_POSTED, i, 0));
    m_dialog.DestroyWindow();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(m_dialog.m_posted.empty());

    SetLastError(0);
    EXPECT_FALSE(m_dialog.PostMessage(WM_TEST_POSTED, 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessageW(hwnd, WM_TEST_POSTED, 1, 0));

    CWnd never;
    EXPECT_FALSE(never.PostMessage(WM_TEST_POSTED, 1, 0));
}

TEST_F(WindowMessagesTest, WindowDestroyedWhileAnotherThreadKeepsPosting) {
    std::atomic<bool> refused{false};
    std::thread poster([&] {
        for (WPARAM i = 0; !refused; ++i) {
            if (!m_dialog.PostMessage(WM_TEST_POSTED, i, 0))
                refused = true;
            // Keeps the queue from growing faster than the GUI thread can drain it.
            if (i % 64 == 0)
                std::this_thread::yield();
        }
    });
    const bool delivered = gui_test::WaitFor([&] { return m_dialog.m_posted.size() >= 100; });
    m_dialog.DestroyWindow();
    poster.join();
    ASSERT_TRUE(delivered);
    const size_t seen = m_dialog.m_posted.size();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_dialog.m_posted.size(), seen);
    for (size_t i = 0; i < seen; ++i)
        ASSERT_EQ(m_dialog.m_posted[i], i);
}

TEST_F(WindowMessagesTest, TimersTickWithTheirIdsUntilKilled) {
    ASSERT_EQ(m_dialog.SetTimer(7, Millis(kShortPeriod)), 7u);
    ASSERT_EQ(m_dialog.SetTimer(9, Millis(kShortPeriod)), 9u);
    ASSERT_TRUE(gui_test::WaitFor(
        [&] { return Count(m_dialog.m_timers, 7) >= 2 && Count(m_dialog.m_timers, 9) >= 2; }));

    EXPECT_TRUE(m_dialog.KillTimer(7));
    EXPECT_FALSE(m_dialog.KillTimer(7));
    EXPECT_FALSE(m_dialog.KillTimer(42));
    m_dialog.m_timers.clear();
    ASSERT_TRUE(gui_test::WaitFor([&] { return Count(m_dialog.m_timers, 9) >= 3; }));
    EXPECT_EQ(Count(m_dialog.m_timers, 7), 0u);
}

TEST_F(WindowMessagesTest, TimerKilledByItsOwnHandlerTicksOnce) {
    m_dialog.m_oneShotTimers = {5};
    m_dialog.SetTimer(5, Millis(kShortPeriod));
    m_dialog.SetTimer(6, Millis(kShortPeriod));
    ASSERT_TRUE(gui_test::WaitFor([&] { return Count(m_dialog.m_timers, 6) >= 5; }));
    EXPECT_EQ(Count(m_dialog.m_timers, 5), 1u);
}

// An hour's timer at a ten-thousandth ticks after 360 ms: long before the wait gives up, which an
// unscaled one never could.
TEST_F(WindowMessagesTest, TimerScaleShortensLongTimers) {
    TimerScale scale(0.0001);
    m_dialog.SetTimer(3, Millis(kLongPeriod));
    EXPECT_TRUE(gui_test::WaitFor([&] { return Count(m_dialog.m_timers, 3) >= 1; }));
}

TEST_F(WindowMessagesTest, TimersEndWithTheirWindow) {
    m_dialog.SetTimer(1, Millis(kShortPeriod));
    ASSERT_TRUE(gui_test::WaitFor([&] { return !m_dialog.m_timers.empty(); }));
    m_dialog.DestroyWindow();
    m_dialog.m_timers.clear();
    // A second window's timer proves time has passed for the first one.
    TestDialog other;
    ASSERT_TRUE(other.Create());
    other.SetTimer(2, Millis(kShortPeriod));
    ASSERT_TRUE(gui_test::WaitFor([&] { return Count(other.m_timers, 2) >= 3; }));
    EXPECT_TRUE(m_dialog.m_timers.empty());
    EXPECT_EQ(m_dialog.SetTimer(1, Millis(kShortPeriod)), 0u);
}

}  // namespace
