// What a loop reading the queue relies on: the thread-message filter, a
// message range that includes its last number, timers due together taken
// in the order they were set, a look that removes nothing changing nothing
// (timers and the quit request alike), a reset timer's new procedure, and
// the earliest due time of several timers.
#include "win_fixture.h"

using namespace wintest;

namespace {

class QueueFilters : public WinTest {};

TEST_F(QueueFilters, TheThreadFilterTakesOnlyMessagesOfNoWindow) {
    HWND h = top();
    test_driver::run_until_idle();
    const HWND thread_only = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
    ASSERT_TRUE(PostMessage(h, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostThreadMessage(0, WM_USER + 2, 2, 0));
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, thread_only, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(m.message, WM_USER + 2u);
    EXPECT_FALSE(PeekMessage(&m, thread_only, 0, 0, PM_REMOVE)); // the window's stays
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.message, WM_USER + 1u);
}

TEST_F(QueueFilters, ARangeHoldsItsFirstAndItsLastNumber) {
    HWND h = top();
    test_driver::run_until_idle();
    PostMessage(h, WM_USER + 9, 0, 0);
    PostMessage(h, WM_USER + 5, 0, 0);
    PostMessage(h, WM_USER + 2, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 5u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2u);
    EXPECT_FALSE(PeekMessage(&m, nullptr, WM_USER + 2, WM_USER + 5, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 9, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 9u);
}

TEST_F(QueueFilters, TimersDueTogetherComeInTheOrderTheyWereSet) {
    HWND h = top();
    test_driver::run_until_idle();
    SetTimer(h, 9, 50, nullptr);
    SetTimer(h, 4, 50, nullptr);
    SetTimer(h, 6, 50, nullptr);
    test_driver::clock().advance(50);
    std::vector<WPARAM> ids;
    MSG m{};
    while (ids.size() < 4 && PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE))
        ids.push_back(m.wParam);
    EXPECT_EQ(ids, (std::vector<WPARAM>{9, 4, 6}));
    for (UINT_PTR id : {9, 4, 6}) KillTimer(h, id);
}

TEST_F(QueueFilters, LookingWithoutRemovingChangesNothing) {
    HWND h = top();
    test_driver::run_until_idle();
    SetTimer(h, 3, 100, nullptr);
    test_driver::clock().advance(100);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 3u);
    // Still due: the look did not start its interval over.
    ASSERT_TRUE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE)); // now restarted
    KillTimer(h, 3);

    PostQuitMessage(4);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 4u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_FALSE(PeekMessage(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

int first_calls = 0, second_calls = 0;
void CALLBACK_first(HWND, UINT, UINT_PTR, DWORD) {
    ++first_calls;
}
void CALLBACK_second(HWND, UINT, UINT_PTR, DWORD) {
    ++second_calls;
}

TEST_F(QueueFilters, AResetTimerCallsItsNewProcedure) {
    first_calls = second_calls = 0;
    HWND h = top();
    test_driver::run_until_idle();
    ASSERT_NE(SetTimer(h, 2, 40, CALLBACK_first), 0u);
    test_driver::advance(40);
    EXPECT_EQ(first_calls, 1);
    ASSERT_NE(SetTimer(h, 2, 40, CALLBACK_second), 0u);
    test_driver::advance(40);
    EXPECT_EQ(first_calls, 1);
    EXPECT_EQ(second_calls, 1);
    KillTimer(h, 2);
}

TEST_F(QueueFilters, TheNextDueTimeIsTheEarliestTimers) {
    HWND h = top();
    test_driver::run_until_idle();
    const std::uint64_t now = test_driver::now();
    SetTimer(h, 1, 300, nullptr);
    SetTimer(h, 2, 70, nullptr);
    SetTimer(h, 3, 150, nullptr);
    EXPECT_EQ(win_next_timer_due(), now + 70);
    KillTimer(h, 2);
    EXPECT_EQ(win_next_timer_due(), now + 150);
    KillTimer(h, 1);
    KillTimer(h, 3);
    EXPECT_EQ(win_next_timer_due(), 0u);
}

} // namespace
