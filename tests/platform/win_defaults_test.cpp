// What windows get without asking: default places that step down the work
// area, the parent's notices of a child's birth and death, and class names cut
// to the caller's buffer.
#include "win_fixture.h"

#include "platform/win_internal.h"

#include <cstring>

using namespace wintest;

namespace {

class WindowDefaults : public WinTest {};

TEST_F(WindowDefaults, DefaultPlacesStepDownAndRightOverThreeQuartersOfTheWorkArea) {
    HWND a = CreateWindowEx(0, "Test_plain", "a", WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                            nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowEx(0, "Test_plain", "b", WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    RECT ra{}, rb{};
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    const int work_w = GetSystemMetrics(SM_CXMAXIMIZED), work_h = GetSystemMetrics(SM_CYMAXIMIZED);
    EXPECT_EQ(ra.right - ra.left, work_w * 3 / 4);
    EXPECT_EQ(ra.bottom - ra.top, work_h * 3 / 4);
    // The second one further down and right by as much both ways: a cascade.
    const int dx = rb.left - ra.left, dy = rb.top - ra.top;
    EXPECT_GT(dx, 0);
    EXPECT_EQ(dx, dy);
    // A child asked for a default place is put at its parent's corner.
    HWND c = CreateWindowEx(0, "Test_plain", "c", WS_CHILD, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, a,
                            nullptr, nullptr, nullptr);
    RECT rc{};
    GetClientRect(c, &rc);
    POINT corner{0, 0};
    MapWindowPoints(c, a, &corner, 1);
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);
}

TEST_F(WindowDefaults, AParentHearsOfItsChildsCreationAndDestructionWithItsId) {
    HWND p = top();
    HWND c = child(p, 77, 0, 0, 10, 10);
    ASSERT_NE(c, nullptr);
    DestroyWindow(c);
    std::vector<Logged> notes;
    for (const Logged& l : log())
        if (l.hwnd == p && l.msg == WM_PARENTNOTIFY) notes.push_back(l);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(LOWORD(notes[0].wp), WM_CREATE);
    EXPECT_EQ(HIWORD(notes[0].wp), 77);
    EXPECT_EQ(reinterpret_cast<HWND>(notes[0].lp), c);
    EXPECT_EQ(LOWORD(notes[1].wp), WM_DESTROY);
    EXPECT_EQ(HIWORD(notes[1].wp), 77);
    EXPECT_EQ(reinterpret_cast<HWND>(notes[1].lp), c);
}

TEST_F(WindowDefaults, ClassNamesAreCutToTheBufferWithTheirEndingZero) {
    HWND h = top();
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetClassName(h, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Test");
    EXPECT_EQ(buffer[5], '#'); // nothing past the size given
    char whole[32];
    EXPECT_EQ(GetClassName(h, whole, sizeof whole), 10);
    EXPECT_STREQ(whole, "Test_plain");
    EXPECT_EQ(GetClassName(h, whole, 0), 0);
}

} // namespace

namespace {

// A full-screen window's client area is the work area less its title bar;
// a maximised window covers the work area.
TEST_F(WindowDefaults, FullScreenClientAreasLeaveRoomForTheTitleBar) {
    EXPECT_GT(GetSystemMetrics(SM_CYCAPTION), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CXMAXIMIZED));
    EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN),
              GetSystemMetrics(SM_CYMAXIMIZED) - GetSystemMetrics(SM_CYCAPTION));
    EXPECT_LE(GetSystemMetrics(SM_CYMAXIMIZED), GetSystemMetrics(SM_CYSCREEN));
}

} // namespace

namespace {

TEST_F(WindowDefaults, ClassesKeepANumberedMenuAndRefuseOversizedExtraBytes) {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "Test_menu";
    wc.lpszMenuName = MAKEINTRESOURCE(123);
    ASSERT_NE(RegisterClass(&wc), 0);
    WNDCLASS back{};
    ASSERT_TRUE(GetClassInfo(nullptr, "Test_menu", &back));
    EXPECT_EQ(back.lpszMenuName, MAKEINTRESOURCE(123));

    WNDCLASS big{};
    big.lpfnWndProc = DefWindowProc;
    big.lpszClassName = "Test_big";
    big.cbWndExtra = 4097;
    EXPECT_EQ(RegisterClass(&big), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    big.cbWndExtra = 0;
    big.cbClsExtra = 4097;
    EXPECT_EQ(RegisterClass(&big), 0);
    big.cbClsExtra = 4096;
    big.cbWndExtra = 4096;
    EXPECT_NE(RegisterClass(&big), 0);
}

// The default text answer fills the buffer with what fits and its zero.
TEST_F(WindowDefaults, TextAskedByMessageIsCutToTheBuffer) {
    HWND h = top();
    SetWindowText(h, "Hello");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(SendMessage(h, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buffer)), 4);
    EXPECT_STREQ(buffer, "Hell");
    EXPECT_EQ(buffer[5], '#');
    EXPECT_EQ(SendMessage(h, WM_GETTEXT, 6, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_STREQ(buffer, "Hello");
    EXPECT_EQ(SendMessage(h, WM_GETTEXTLENGTH, 0, 0), 5);
}

// Over a frame's edges and corners the pointer shows the way it sizes.
TEST_F(WindowDefaults, FrameEdgesShowTheirSizingCursors) {
    HWND h = top();
    struct Spot {
        int hit;
        const char* cursor;
    };
    const Spot spots[] = {{HTLEFT, IDC_SIZEWE},       {HTRIGHT, IDC_SIZEWE},
                          {HTTOP, IDC_SIZENS},        {HTBOTTOM, IDC_SIZENS},
                          {HTTOPLEFT, IDC_SIZENWSE},  {HTBOTTOMRIGHT, IDC_SIZENWSE},
                          {HTTOPRIGHT, IDC_SIZENESW}, {HTBOTTOMLEFT, IDC_SIZENESW},
                          {HTCAPTION, IDC_ARROW},     {HTCLIENT, IDC_ARROW}};
    for (const Spot& s : spots) {
        SetCursor(nullptr);
        EXPECT_TRUE(DefWindowProc(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h),
                                  MAKELPARAM(s.hit, WM_MOUSEMOVE)))
            << s.hit;
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, s.cursor)) << s.hit;
    }
}

} // namespace

namespace {

TEST_F(WindowDefaults, ANewWindowHearsWhereItsClientAreaStarts) {
    CreateWindowEx(0, "Test_plain", "m", WS_POPUP, 15, 40, 70, 30, nullptr, nullptr, nullptr,
                   nullptr);
    auto moves = entries(WM_MOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lp), 15);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lp), 40);
}

// The horizontal bar runs under the client area only; the vertical one
// beside it; the corner between them belongs to neither.
TEST_F(WindowDefaults, ScrollBarsLeaveTheCornerBetweenThem) {
    HWND p = top(0, 0, 300, 200);
    HWND c = child(p, 1, 0, 0, 116, 96, WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL);
    RECT client{};
    GetClientRect(c, &client);
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 80);
    const RECT h = win_nonclient_scrollbar_rect(c, 0), v = win_nonclient_scrollbar_rect(c, 1);
    EXPECT_EQ(h.left, 0);
    EXPECT_EQ(h.right, 100);
    EXPECT_EQ(h.top, 80);
    EXPECT_EQ(h.bottom, 96);
    EXPECT_EQ(v.left, 100);
    EXPECT_EQ(v.right, 116);
    EXPECT_EQ(v.top, 0);
    EXPECT_EQ(v.bottom, 80);
}

TEST_F(WindowDefaults, TheMessagePositionIsTheTakenMessagesPointXFirst) {
    HWND h = top(20, 30, 200, 150);
    test_driver::run_until_idle();
    test_driver::mouse_move(h, 50, 7);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, h, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    POINT screen{50, 7};
    ClientToScreen(h, &screen);
    EXPECT_EQ(m.pt.x, screen.x);
    EXPECT_EQ(m.pt.y, screen.y);
    const DWORD pos = GetMessagePos();
    EXPECT_EQ(static_cast<short>(LOWORD(pos)), screen.x);
    EXPECT_EQ(static_cast<short>(HIWORD(pos)), screen.y);
}

// F10 alone opens the menu bar; with Shift (the context menu) or Ctrl it
// does not.
TEST_F(WindowDefaults, OnlyAPlainF10OpensTheMenuBar) {
    HWND h = top();
    auto key_menus = [&] {
        int n = 0;
        for (const Logged& l : entries(WM_SYSCOMMAND)) n += (l.wp & 0xFFF0) == SC_KEYMENU;
        return n;
    };
    DefWindowProc(h, WM_SYSKEYDOWN, VK_F10, 0);
    EXPECT_EQ(key_menus(), 1);
    for (int modifier : {VK_SHIFT, VK_CONTROL}) {
        log().clear();
        win_set_key_state(modifier, true);
        DefWindowProc(h, WM_SYSKEYDOWN, VK_F10, 0);
        win_set_key_state(modifier, false);
        EXPECT_EQ(key_menus(), 0) << modifier;
    }
}

int thread_ticks = 0;
void CALLBACK_tick(HWND, UINT, UINT_PTR, DWORD) {
    ++thread_ticks;
}

// A timer without a window set again under its own number is the same
// timer with a new interval, not a second one.
TEST_F(WindowDefaults, AWindowlessTimerSetAgainKeepsItsNumber) {
    thread_ticks = 0;
    const UINT_PTR id = SetTimer(nullptr, 0, 100, CALLBACK_tick);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(SetTimer(nullptr, id, 40, CALLBACK_tick), id);
    test_driver::advance(40);
    EXPECT_EQ(thread_ticks, 1);
    EXPECT_TRUE(KillTimer(nullptr, id));
    EXPECT_FALSE(KillTimer(nullptr, id)); // no second timer left behind
    test_driver::advance(200);
    EXPECT_EQ(thread_ticks, 1);
}

// The keys of the block between the letters and the number pad are marked
// extended; the same keys on the number pad are not.
TEST_F(WindowDefaults, EditingAndArrowKeysAreMarkedExtended) {
    HWND h = top();
    test_driver::run_until_idle();
    SetActiveWindow(h);
    SetFocus(h);
    for (int vk : {VK_DELETE, VK_INSERT, VK_HOME, VK_END, VK_PRIOR, VK_NEXT, VK_LEFT, VK_UP}) {
        log().clear();
        test_driver::press_key(vk);
        test_driver::run_until_idle(100000, false);
        auto downs = entries(WM_KEYDOWN);
        ASSERT_EQ(downs.size(), 1u) << vk;
        EXPECT_NE(downs[0].lp & KF_EXTENDED_BIT, 0) << vk;
    }
    log().clear();
    test_driver::press_key('A');
    test_driver::run_until_idle(100000, false);
    ASSERT_EQ(entries(WM_KEYDOWN).size(), 1u);
    EXPECT_EQ(entries(WM_KEYDOWN)[0].lp & KF_EXTENDED_BIT, 0);
}

} // namespace

namespace {

// Alt with F4 closes the window; F4 alone is an ordinary key.
TEST_F(WindowDefaults, OnlyAltWithF4Closes) {
    HWND h = top();
    auto closes = [&] {
        int n = 0;
        for (const Logged& l : entries(WM_SYSCOMMAND)) n += (l.wp & 0xFFF0) == SC_CLOSE;
        return n;
    };
    hook() = [](HWND, UINT m, WPARAM wp, LPARAM, LRESULT* out) {
        *out = 0;
        return m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE; // kept open for the test
    };
    DefWindowProc(h, WM_SYSKEYDOWN, VK_F4, 0);
    EXPECT_EQ(closes(), 0);
    DefWindowProc(h, WM_SYSKEYDOWN, VK_F4, KF_ALTDOWN_BIT);
    EXPECT_EQ(closes(), 1);
    EXPECT_TRUE(IsWindow(h));
}

// A window activated while minimised does not take the keyboard.
TEST_F(WindowDefaults, AMinimisedWindowActivatedLeavesTheFocusAlone) {
    HWND a = top();
    HWND b = top(300, 10);
    SetFocus(a);
    DefWindowProc(b, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
    EXPECT_EQ(GetFocus(), a);
    DefWindowProc(b, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    EXPECT_EQ(GetFocus(), b);
}

// A disabled window the window manager activates hands the activation to
// the box it owns that is showing, not to a hidden one.
TEST_F(WindowDefaults, ADisabledOwnerHandsActivationToItsShowingBox) {
    HWND owner = top();
    HWND hidden = CreateWindowEx(0, "Test_plain", "hidden", WS_POPUP, 40, 40, 50, 50, owner,
                                 nullptr, nullptr, nullptr);
    HWND box = CreateWindowEx(0, "Test_plain", "box", WS_POPUP | WS_VISIBLE, 60, 60, 50, 50, owner,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(hidden, nullptr);
    ASSERT_NE(box, nullptr);
    // The hidden one in front of the showing one.
    SetWindowPos(hidden, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetActiveWindow(owner);
    EnableWindow(owner, FALSE);
    win::window_manager_activated(owner);
    EXPECT_EQ(GetActiveWindow(), box);
}

} // namespace
