// Timers of windows: a timer belongs to its window (the same number on
// another window is another timer), and setting a timer again starts its
// interval over.
#include "win_fixture.h"

using namespace wintest;

namespace {

class WinTimers : public WinTest {};

bool timer_due(HWND h, UINT_PTR id) {
    MSG m{};
    if (!PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE)) return false;
    return m.wParam == id;
}

TEST_F(WinTimers, KillingAWindowsTimerLeavesAnotherWindowsOfTheSameNumber) {
    HWND a = top(10, 10);
    HWND b = top(250, 10);
    test_driver::run_until_idle();
    ASSERT_NE(SetTimer(a, 5, 100, nullptr), 0u);
    ASSERT_NE(SetTimer(b, 5, 100, nullptr), 0u);
    EXPECT_TRUE(KillTimer(b, 5));
    EXPECT_FALSE(KillTimer(b, 5)); // gone already
    test_driver::clock().advance(100);
    EXPECT_TRUE(timer_due(a, 5));
    EXPECT_FALSE(timer_due(b, 5));
    EXPECT_TRUE(KillTimer(a, 5));
}

TEST_F(WinTimers, SettingATimerAgainStartsItsIntervalOver) {
    HWND h = top();
    test_driver::run_until_idle();
    ASSERT_NE(SetTimer(h, 7, 100, nullptr), 0u);
    test_driver::clock().advance(60);
    ASSERT_NE(SetTimer(h, 7, 100, nullptr), 0u);
    test_driver::clock().advance(60);
    EXPECT_FALSE(timer_due(h, 7)); // 60 of the new 100
    test_driver::clock().advance(40);
    EXPECT_TRUE(timer_due(h, 7));
    // A new interval given the same way counts from then.
    ASSERT_NE(SetTimer(h, 7, 30, nullptr), 0u);
    test_driver::clock().advance(29);
    EXPECT_FALSE(timer_due(h, 7));
    test_driver::clock().advance(1);
    EXPECT_TRUE(timer_due(h, 7));
    KillTimer(h, 7);
}

} // namespace
