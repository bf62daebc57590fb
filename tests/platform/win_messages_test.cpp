// The queue and the loops: sent and posted order, paint and timer messages
// only when idle, nested loops and WM_QUIT, timers on the manual clock,
// blocking waits under the manual clock.
#include "win_fixture.h"

#include <string>

using namespace wintest;

namespace {

class Messages : public WinTest {};

TEST_F(Messages, SentMessagesRunAtOncePostedOnesInOrderLater) {
    HWND h = top();
    test_driver::run_until_idle();
    log().clear();
    EXPECT_TRUE(PostMessage(h, WM_USER + 1, 0, 0));
    EXPECT_TRUE(PostMessage(h, WM_USER + 2, 0, 0));
    EXPECT_EQ(SendMessage(h, WM_USER + 3, 0, 0), 0);
    EXPECT_EQ(messages({WM_USER + 1, WM_USER + 2, WM_USER + 3}), (std::vector<UINT>{WM_USER + 3}));
    test_driver::run_until_idle();
    EXPECT_EQ(messages({WM_USER + 1, WM_USER + 2, WM_USER + 3}),
              (std::vector<UINT>{WM_USER + 3, WM_USER + 1, WM_USER + 2}));
}

TEST_F(Messages, PaintAndTimerComeOnlyWhenTheQueueIsEmpty) {
    HWND h = top();
    SetTimer(h, 7, 10, nullptr);
    test_driver::clock().advance(50);
    PostMessage(h, WM_USER, 0, 0);
    PostMessage(h, WM_USER + 1, 0, 0);
    std::vector<UINT> order;
    MSG m;
    while (order.size() < 4 && PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        order.push_back(m.message);
        DispatchMessage(&m);
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER, WM_USER + 1, WM_PAINT, WM_TIMER}));
    // The timer does not repeat until its interval has passed again.
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messages, PeekFiltersAndNoRemoveKeepTheMessage) {
    HWND a = top();
    HWND b = top(300, 10);
    test_driver::run_until_idle();
    PostMessage(a, WM_USER + 1, 1, 0);
    PostMessage(b, WM_USER + 2, 2, 0);
    PostMessage(a, WM_USER + 3, 3, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 2u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 1u);
    ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2u);
    EXPECT_FALSE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messages, PostingToADestroyedWindowFailsAndItsMessagesAreDropped) {
    HWND h = top();
    PostMessage(h, WM_USER, 0, 0);
    DestroyWindow(h);
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    log().clear();
    test_driver::run_until_idle();
    EXPECT_TRUE(log().empty());
}

TEST_F(Messages, QueueRefusesPostsBeyondItsLimit) {
    HWND h = top();
    int posted = 0;
    while (posted < 20000 && PostMessage(h, WM_USER, 0, 0)) ++posted;
    EXPECT_EQ(posted, 10000);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    test_driver::run_until_idle();
    EXPECT_TRUE(PostMessage(h, WM_USER, 0, 0));
}

// A window procedure that runs a nested loop on WM_USER + 10 (depth given in
// wParam) and records how each level ends.
std::vector<std::string>& trace() {
    static std::vector<std::string> t;
    return t;
}

TEST_F(Messages, NestedLoopsEndInnermostFirstOnQuit) {
    trace().clear();
    HWND h = top();
    hook() = [](HWND hw, UINT m, WPARAM wp, LPARAM, LRESULT*) {
        if (m == WM_USER + 10) {
            int depth = static_cast<int>(wp);
            if (depth < 3) PostMessage(hw, WM_USER + 10, depth + 1, 0);
            if (depth == 3) PostQuitMessage(30);
            MSG msg;
            BOOL r;
            while ((r = GetMessage(&msg, nullptr, 0, 0)) > 0) DispatchMessage(&msg);
            trace().push_back("level " + std::to_string(depth) + " quit " +
                              std::to_string(msg.wParam));
            // Each level passes a quit outward, with its own code.
            PostQuitMessage(depth * 10 - 10);
            return true;
        }
        if (m == WM_USER + 11) trace().push_back("outer work");
        return false;
    };
    test_driver::run_until_idle();
    PostMessage(h, WM_USER + 10, 1, 0);
    MSG msg;
    BOOL r;
    int outer_messages = 0;
    while ((r = GetMessage(&msg, nullptr, 0, 0)) > 0) {
        ++outer_messages;
        DispatchMessage(&msg);
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 0u); // level 1 passed 0 outward
    EXPECT_EQ(trace(),
              (std::vector<std::string>{"level 3 quit 30", "level 2 quit 20", "level 1 quit 10"}));
}

TEST_F(Messages, QuitIsTakenAfterQueuedMessagesButBeforePaint) {
    HWND h = top();
    PostMessage(h, WM_USER, 0, 0);
    PostQuitMessage(4);
    MSG m;
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_USER + 0u);
    EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 4u);
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_PAINT);
}

TEST_F(Messages, TimersFireByTheManualClockAndCanBeResetAndKilled) {
    HWND h = top();
    test_driver::run_until_idle();
    log().clear();
    SetTimer(h, 1, 100, nullptr);
    test_driver::advance(99);
    EXPECT_TRUE(entries(WM_TIMER).empty());
    test_driver::advance(1);
    EXPECT_EQ(entries(WM_TIMER).size(), 1u);
    test_driver::advance(250);
    EXPECT_EQ(entries(WM_TIMER).size(), 3u);
    // Setting the same id again replaces the timer (interval and due time).
    SetTimer(h, 1, 40, nullptr);
    log().clear();
    test_driver::advance(120);
    EXPECT_EQ(entries(WM_TIMER).size(), 3u);
    EXPECT_EQ(entries(WM_TIMER)[0].wp, 1u);
    EXPECT_TRUE(KillTimer(h, 1));
    EXPECT_FALSE(KillTimer(h, 1));
    log().clear();
    test_driver::advance(1000);
    EXPECT_TRUE(entries(WM_TIMER).empty());
}

TEST_F(Messages, TimersOfTwoIdsKeepTheirOwnIntervals) {
    HWND h = top();
    test_driver::run_until_idle();
    log().clear();
    SetTimer(h, 1, 25, nullptr);
    SetTimer(h, 2, 100, nullptr);
    test_driver::advance(100);
    int ones = 0, twos = 0;
    for (const Logged& l : entries(WM_TIMER)) (l.wp == 1 ? ones : twos)++;
    EXPECT_EQ(ones, 4);
    EXPECT_EQ(twos, 1);
}

std::vector<DWORD>& proc_calls() {
    static std::vector<DWORD> c;
    return c;
}
void CALLBACK_timer(HWND, UINT, UINT_PTR, DWORD time) {
    proc_calls().push_back(time);
}

TEST_F(Messages, TimerProceduresAreCalledAndForgedOnesAreNot) {
    proc_calls().clear();
    HWND h = top();
    test_driver::run_until_idle();
    UINT_PTR id = SetTimer(nullptr, 0, 30, CALLBACK_timer);
    EXPECT_NE(id, 0u);
    test_driver::advance(30);
    ASSERT_EQ(proc_calls().size(), 1u);
    EXPECT_EQ(proc_calls()[0], static_cast<DWORD>(test_driver::now()));
    // A posted WM_TIMER naming a procedure that is no live timer's is ignored.
    MSG forged{h, WM_TIMER, 99, reinterpret_cast<LPARAM>(&CALLBACK_timer), 0, {}, 0};
    DispatchMessage(&forged);
    EXPECT_EQ(proc_calls().size(), 1u);
    KillTimer(nullptr, id);
}

TEST_F(Messages, DestroyingAWindowKillsItsTimers) {
    HWND h = top();
    SetTimer(h, 1, 50, nullptr);
    EXPECT_NE(win_next_timer_due(), 0u);
    DestroyWindow(h);
    EXPECT_EQ(win_next_timer_due(), 0u);
    EXPECT_EQ(SetTimer(h, 1, 50, nullptr), 0u);
}

TEST_F(Messages, GetMessageUnderTheManualClockMovesTimeToTheNextTimer) {
    HWND h = top();
    test_driver::run_until_idle();
    std::uint64_t before = test_driver::now();
    SetTimer(h, 3, 500, nullptr);
    MSG m;
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(test_driver::now(), before + 500);
}

TEST_F(Messages, GetMessageRunsIdleActionsBeforeMovingTheClock) {
    HWND h = top();
    test_driver::run_until_idle();
    SetTimer(h, 3, 500, nullptr);
    std::uint64_t before = test_driver::now();
    test_driver::on_idle([h] { PostMessage(h, WM_USER + 5, 0, 0); });
    MSG m;
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_USER + 5u);
    EXPECT_EQ(test_driver::now(), before);
}

TEST_F(Messages, AWaitThatCanNeverEndCallsTheStallHandler) {
    top();
    test_driver::run_until_idle();
    std::string said;
    int calls = 0;
    win_set_stall_handler([&](const char* text) {
        // Called again, the quit it posted was lost: stop rather than wait
        // for ever.
        if (++calls > 1) throw std::runtime_error("the stall handler was called again");
        said = text;
        PostQuitMessage(9);
    });
    MSG m;
    try {
        EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_NE(said.find("GetMessage"), std::string::npos);
    EXPECT_NE(said.find("Test_plain"), std::string::npos);
}

TEST_F(Messages, SendMessageTimeoutBroadcastReachesTopLevelWindowsOnly) {
    HWND a = top();
    HWND b = top(0, 0, 10, 10, WS_POPUP); // hidden
    HWND c = child(a, 1, 0, 0, 10, 10);
    log().clear();
    DWORD_PTR result = 77;
    EXPECT_NE(SendMessageTimeout(HWND_BROADCAST, WM_USER + 9, 1, 2, SMTO_NORMAL, 1000, &result), 0);
    std::vector<HWND> got;
    for (const Logged& l : entries(WM_USER + 9)) got.push_back(l.hwnd);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_NE(std::find(got.begin(), got.end(), a), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), b), got.end());
    EXPECT_EQ(std::find(got.begin(), got.end(), c), got.end());
    hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_USER + 8) return false;
        *out = 1234;
        return true;
    };
    EXPECT_NE(SendMessageTimeout(a, WM_USER + 8, 0, 0, SMTO_ABORTIFHUNG, 10, &result), 0);
    EXPECT_EQ(result, 1234u);
    DestroyWindow(c);
    EXPECT_EQ(SendMessageTimeout(c, WM_USER + 8, 0, 0, 0, 10, &result), 0);
}

TEST_F(Messages, RunawaySendRecursionFailsInsteadOfOverflowing) {
    HWND h = top();
    int depth = 0;
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_USER + 20) return false;
        ++depth;
        *out = SendMessage(hw, WM_USER + 20, 0, 0) + 1;
        return true;
    };
    LRESULT r = SendMessage(h, WM_USER + 20, 0, 0);
    EXPECT_GT(depth, 100);
    EXPECT_LT(depth, 5000);
    EXPECT_EQ(r, depth);
}

TEST_F(Messages, RegisteredMessagesAreStablePerName) {
    UINT a = RegisterWindowMessage("Kavrel.Ping");
    UINT b = RegisterWindowMessage("kavrel.ping");
    UINT c = RegisterWindowMessage("Other");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

} // namespace

#include <thread>

namespace {

TEST_F(Messages, OtherThreadsCannotPostIntoTheQueue) {
    HWND h = top();
    test_driver::run_until_idle();
    BOOL posted = TRUE;
    std::thread t([&] { posted = PostMessage(h, WM_USER, 0, 0); });
    t.join();
    EXPECT_FALSE(posted);
    EXPECT_FALSE(win_queue_pending());
}

} // namespace

#include <stdexcept>

namespace {

struct Unwind : std::runtime_error {
    Unwind() : std::runtime_error("unwind") {}
};

TEST_F(Messages, ExceptionsFromProceduresUnwindThroughTheLayerAndLeaveItWorking) {
    HWND h = top();
    test_driver::run_until_idle();
    bool throw_now = true;
    hook() = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (throw_now && (m == WM_USER + 1 || m == WM_SETCURSOR)) {
            throw_now = false;
            throw Unwind();
        }
        return false;
    };
    // Through DispatchMessage from a loop.
    PostMessage(h, WM_USER + 1, 0, 0);
    EXPECT_THROW(test_driver::run_until_idle(), Unwind);
    // From inside Qt's event delivery (WM_SETCURSOR is sent while the mouse
    // event is handled): kept and rethrown once Qt has returned.
    throw_now = true;
    EXPECT_THROW(test_driver::mouse_move(h, 5, 5), Unwind);
    // The layer is intact: sends nest as deep as before, messages flow.
    int depth = 0;
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_USER + 2) return false;
        *out = ++depth < 1000 ? SendMessage(hw, WM_USER + 2, 0, 0) : 0;
        return true;
    };
    SendMessage(h, WM_USER + 2, 0, 0);
    EXPECT_EQ(depth, 1000);
    log().clear();
    PostMessage(h, WM_USER + 3, 0, 0);
    test_driver::run_until_idle();
    EXPECT_EQ(entries(WM_USER + 3).size(), 1u);
}

TEST_F(Messages, TestsCanSetTheKeyState) {
    win_set_key_state(VK_SHIFT, true);
    win_set_key_state(VK_CAPITAL, false, true);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0);
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
    EXPECT_EQ(GetKeyState(-5), 0);
    EXPECT_EQ(GetKeyState(300), 0);
    BYTE state[256];
    ASSERT_TRUE(GetKeyboardState(state));
    EXPECT_EQ(state[VK_SHIFT] & 0x80, 0x80);
}

} // namespace
