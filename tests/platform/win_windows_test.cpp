// Window records: creation and destruction order, stale and foreign handles,
// window longs and their bounds, subclassing, texts, relations, geometry,
// focus, activation and enabling.
#include "win_fixture.h"

#include "platform/win_internal.h"

#include "platform/controls.h"

#include <QWidget>

#include <algorithm>
#include <cstring>

using namespace wintest;

namespace {

class Windows : public WinTest {};

TEST_F(Windows, CreationSendsNcCreateCreateSizeMoveWithTheCreateStruct) {
    int param = 42;
    void* seen = nullptr;
    hook() = [&](HWND, UINT m, WPARAM, LPARAM lp, LRESULT*) {
        if (m == WM_CREATE) seen = reinterpret_cast<CREATESTRUCT*>(lp)->lpCreateParams;
        return false;
    };
    HWND h = CreateWindowEx(0, "Test_plain", "Hello", WS_POPUP, 5, 6, 70, 40, nullptr, nullptr,
                            nullptr, &param);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(seen, &param);
    EXPECT_EQ(messages({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(entries(WM_SIZE)[0].lp, MAKELPARAM(70, 40));
    char text[16];
    EXPECT_EQ(GetWindowText(h, text, sizeof text), 5);
    EXPECT_STREQ(text, "Hello");
    EXPECT_FALSE(IsWindowVisible(h));
}

TEST_F(Windows, CreateFailsWhenTheProcedureRefuses) {
    hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_CREATE) return false;
        *out = -1;
        return true;
    };
    HWND h = top();
    EXPECT_EQ(h, nullptr);
    ASSERT_FALSE(entries(WM_CREATE).empty());
    HWND tried = entries(WM_CREATE)[0].hwnd;
    EXPECT_FALSE(IsWindow(tried));
    EXPECT_EQ(messages({WM_DESTROY, WM_NCDESTROY}), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_NCCREATE) return false;
        *out = FALSE;
        return true;
    };
    log().clear();
    EXPECT_EQ(top(), nullptr);
    EXPECT_EQ(messages({WM_CREATE, WM_NCDESTROY}), (std::vector<UINT>{WM_NCDESTROY}));
    EXPECT_EQ(
        CreateWindowEx(0, "No_such_class", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(Windows, DestroySendsDestroyParentFirstAndNcDestroyChildrenFirst) {
    HWND p = top();
    HWND c1 = child(p, 1, 0, 0, 10, 10);
    HWND g = child(c1, 3, 0, 0, 5, 5);
    HWND c2 = child(p, 2, 20, 0, 10, 10);
    log().clear();
    EXPECT_TRUE(DestroyWindow(p));
    std::vector<HWND> destroy, ncdestroy;
    for (const Logged& l : log()) {
        if (l.msg == WM_DESTROY) destroy.push_back(l.hwnd);
        if (l.msg == WM_NCDESTROY) ncdestroy.push_back(l.hwnd);
    }
    EXPECT_EQ(destroy, (std::vector<HWND>{p, c1, g, c2}));
    EXPECT_EQ(ncdestroy, (std::vector<HWND>{g, c1, c2, p}));
    for (HWND h : {p, c1, g, c2}) EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(p));
}

TEST_F(Windows, OwnedWindowsAreDestroyedBeforeTheirOwner) {
    HWND owner = top();
    HWND popup = CreateWindowEx(0, "Test_plain", "owned", WS_POPUP, 0, 0, 10, 10, owner, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
    EXPECT_EQ(GetParent(popup), owner); // a pop-up's parent is its owner
    log().clear();
    DestroyWindow(owner);
    ASSERT_GE(entries(WM_DESTROY).size(), 2u);
    EXPECT_EQ(entries(WM_DESTROY)[0].hwnd, popup);
    EXPECT_FALSE(IsWindow(popup));
}

TEST_F(Windows, StaleHandleIsRejectedEvenAfterItsSlotIsReused) {
    HWND a = top();
    ASSERT_TRUE(DestroyWindow(a));
    HWND b = top();
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_TRUE(IsWindow(b));
    log().clear();
    EXPECT_EQ(SendMessage(a, WM_USER, 0, 0), 0);
    EXPECT_TRUE(log().empty());
    RECT r;
    EXPECT_FALSE(GetWindowRect(a, &r));
    EXPECT_FALSE(SetWindowText(a, "x"));
    EXPECT_EQ(SetWindowLongPtr(a, GWL_USERDATA, 5), 0);
    EXPECT_EQ(GetWindowLongPtr(b, GWL_USERDATA), 0);
    EXPECT_FALSE(ShowWindow(a, SW_SHOW));
    EXPECT_EQ(SetFocus(a), nullptr);
    EXPECT_EQ(SetCapture(a), nullptr);
    EXPECT_EQ(GetDC(a), nullptr);
    EXPECT_FALSE(InvalidateRect(a, nullptr, TRUE));
    EXPECT_EQ(SetTimer(a, 1, 10, nullptr), 0u);
    EXPECT_EQ(
        CreateWindowEx(0, "Test_plain", "", WS_CHILD, 0, 0, 1, 1, a, nullptr, nullptr, nullptr),
        nullptr);
}

TEST_F(Windows, ForeignHandlesAreRejected) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HWND foreign[] = {reinterpret_cast<HWND>(brush), reinterpret_cast<HWND>(0x12345678),
                      reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)),
                      reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x100000001ull)),
                      HWND_BROADCAST};
    for (HWND h : foreign) {
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(GetWindowLong(h, GWL_STYLE), 0);
        EXPECT_FALSE(DestroyWindow(h));
        EXPECT_EQ(GetParent(h), nullptr);
        EXPECT_FALSE(ValidateRect(h, nullptr));
    }
    DeleteObject(brush);
}

// A class of four extra bytes holds one long at 0 and two words at 0 and 2.
TEST_F(Windows, FourExtraBytesHoldOneLongOrTwoWords) {
    WNDCLASS wc{};
    wc.lpfnWndProc = record_proc;
    wc.cbWndExtra = 4;
    wc.lpszClassName = "Test_four";
    ASSERT_NE(RegisterClass(&wc), 0);
    HWND h = CreateWindowEx(0, "Test_four", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetWindowLong(h, 0), 0);
    EXPECT_EQ(SetWindowLong(h, 0, 0x12345678), 0);
    EXPECT_EQ(GetWindowLong(h, 0), 0x12345678);
    EXPECT_EQ(GetWindowWord(h, 0), 0x5678);
    EXPECT_EQ(GetWindowWord(h, 2), 0x1234);
    EXPECT_EQ(SetWindowWord(h, 2, 0x0BCD), 0x1234);
    EXPECT_EQ(GetWindowLong(h, 0), 0x0BCD5678);
    EXPECT_EQ(GetWindowLong(h, 1), 0); // past the end
    DestroyWindow(h);
    UnregisterClass("Test_four", nullptr);
}

TEST_F(Windows, WindowLongsCheckTheirBounds) {
    HWND h = top(); // class gives 8 extra bytes
    EXPECT_EQ(SetWindowLong(h, 0, 11), 0);
    EXPECT_EQ(SetWindowLong(h, 4, 22), 0);
    EXPECT_EQ(GetWindowLong(h, 0), 11);
    EXPECT_EQ(GetWindowLong(h, 4), 22);
    EXPECT_EQ(SetWindowLong(h, 4, 33), 22);
    SetLastError(0);
    EXPECT_EQ(GetWindowLong(h, 5), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
    EXPECT_EQ(SetWindowLong(h, 8, 1), 0);
    EXPECT_EQ(GetWindowLong(h, -100), 0);
    EXPECT_EQ(GetWindowLongPtr(h, 1), 0);
    EXPECT_EQ(SetWindowLongPtr(h, 0, 0x1122334455667788LL), static_cast<LONG_PTR>(33) << 32 | 11);
    EXPECT_EQ(GetWindowLongPtr(h, 0), 0x1122334455667788LL);
    EXPECT_EQ(GetWindowWord(h, 6), 0x1122);
    EXPECT_EQ(GetWindowWord(h, 7), 0);
    EXPECT_EQ(SetWindowLongPtr(h, GWL_USERDATA, 99), 0);
    EXPECT_EQ(GetWindowLongPtr(h, GWL_USERDATA), 99);
    // Pointers do not fit the 32-bit calls.
    EXPECT_EQ(GetWindowLong(h, GWL_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
    EXPECT_EQ(GetClassLong(h, GCL_CBWNDEXTRA), 8u);
    EXPECT_EQ(GetWindowLong(h, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
    HWND c = child(h, 1234, 0, 0, 5, 5);
    EXPECT_EQ(GetWindowLong(c, GWL_ID), 1234);
    EXPECT_EQ(GetDlgCtrlID(c), 1234);
    EXPECT_EQ(GetDlgItem(h, 1234), c);
}

LRESULT subclass_a(HWND h, UINT m, WPARAM wp, LPARAM lp);
LRESULT subclass_b(HWND h, UINT m, WPARAM wp, LPARAM lp);
WNDPROC old_a = nullptr;
WNDPROC old_b = nullptr;
std::vector<std::string>& chain() {
    static std::vector<std::string> c;
    return c;
}
LRESULT subclass_a(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 1) chain().push_back("a");
    return CallWindowProc(old_a, h, m, wp, lp);
}
LRESULT subclass_b(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 1) {
        chain().push_back("b");
        if (wp == 1) return 7; // swallowed
    }
    return CallWindowProc(old_b, h, m, wp, lp);
}

TEST_F(Windows, SubclassingChainsCallTheOlderProcedures) {
    chain().clear();
    HWND h = top();
    old_a = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(subclass_a)));
    EXPECT_EQ(old_a, &record_proc);
    old_b = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(subclass_b)));
    EXPECT_EQ(old_b, &subclass_a);
    log().clear();
    SendMessage(h, WM_USER + 1, 0, 0);
    EXPECT_EQ(chain(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(entries(WM_USER + 1).size(), 1u);
    EXPECT_EQ(SendMessage(h, WM_USER + 1, 1, 0), 7);
    EXPECT_EQ(entries(WM_USER + 1).size(), 1u);
    // Posted messages take the same road.
    chain().clear();
    PostMessage(h, WM_USER + 1, 0, 0);
    test_driver::run_until_idle();
    EXPECT_EQ(chain(), (std::vector<std::string>{"b", "a"}));
    SetWindowLongPtr(h, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(old_b));
    chain().clear();
    SendMessage(h, WM_USER + 1, 0, 0);
    EXPECT_EQ(chain(), (std::vector<std::string>{"a"}));
}

TEST_F(Windows, TextGoesThroughTheProcedureAndIsTruncatedToTheBuffer) {
    HWND h = top();
    log().clear();
    EXPECT_TRUE(SetWindowText(h, "Workbench title"));
    EXPECT_EQ(entries(WM_SETTEXT).size(), 1u);
    EXPECT_EQ(GetWindowTextLength(h), 15);
    char small[6];
    EXPECT_EQ(GetWindowText(h, small, sizeof small), 5);
    EXPECT_STREQ(small, "Workb");
    char one[1] = {'x'};
    EXPECT_EQ(GetWindowText(h, one, 1), 0);
    EXPECT_EQ(one[0], 0);
    EXPECT_TRUE(SetWindowText(h, nullptr));
    EXPECT_EQ(GetWindowTextLength(h), 0);
    // A procedure that keeps its own text answers for itself.
    hook() = [](HWND, UINT m, WPARAM wp, LPARAM lp, LRESULT* out) {
        if (m != WM_GETTEXT) return false;
        std::strncpy(reinterpret_cast<char*>(lp), "own", wp);
        *out = 3;
        return true;
    };
    char buf[10];
    EXPECT_EQ(GetWindowText(h, buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "own");
}

BOOL count_proc(HWND, LPARAM data) {
    ++*reinterpret_cast<int*>(data);
    return TRUE;
}

TEST_F(Windows, RelationsFollowCreationOrderAndZOrder) {
    HWND p = top();
    HWND a = child(p, 1, 0, 0, 10, 10);
    HWND b = child(p, 2, 0, 0, 10, 10);
    HWND g = child(a, 3, 0, 0, 5, 5);
    EXPECT_EQ(GetParent(a), p);
    EXPECT_EQ(GetWindow(p, GW_CHILD), a); // the first created is on top
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
    EXPECT_TRUE(IsChild(p, g));
    EXPECT_FALSE(IsChild(a, b));
    EXPECT_EQ(GetAncestor(g, GA_ROOT), p);
    EXPECT_EQ(GetAncestor(p, GA_PARENT), GetDesktopWindow());
    int n = 0;
    EnumChildWindows(p, count_proc, reinterpret_cast<LPARAM>(&n));
    EXPECT_EQ(n, 3);
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(p, GW_CHILD), b);
    EXPECT_EQ(FindWindow("test_PLAIN", "top"), p);
    EXPECT_EQ(FindWindowEx(p, nullptr, "Test_plain", "child"), b);
    EXPECT_EQ(FindWindowEx(p, b, "Test_plain", "child"), a);
    // Re-parenting refuses cycles.
    EXPECT_EQ(SetParent(a, g), nullptr);
    EXPECT_EQ(SetParent(g, b), a);
    EXPECT_EQ(GetParent(g), b);
}

TEST_F(Windows, GeometryMapsBetweenClientAndScreen) {
    HWND p = top(100, 50, 300, 200);
    HWND c = child(p, 1, 10, 20, 50, 40, WS_CHILD | WS_VISIBLE | WS_BORDER);
    RECT r;
    ASSERT_TRUE(GetWindowRect(c, &r));
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right, 160);
    ASSERT_TRUE(GetClientRect(c, &r));
    EXPECT_EQ(r.right, 48); // one-pixel border each side
    EXPECT_EQ(r.bottom, 38);
    POINT pt{0, 0};
    ClientToScreen(c, &pt);
    EXPECT_EQ(pt.x, 111);
    EXPECT_EQ(pt.y, 71);
    ScreenToClient(p, &pt);
    EXPECT_EQ(pt.x, 11);
    POINT pts[2] = {{0, 0}, {5, 5}};
    MapWindowPoints(c, p, pts, 2);
    EXPECT_EQ(pts[1].x, 16);
    EXPECT_EQ(pts[1].y, 26);
    RECT adj{0, 0, 48, 38};
    AdjustWindowRectEx(&adj, WS_CHILD | WS_BORDER, FALSE, 0);
    EXPECT_EQ(adj.right - adj.left, 50);
    EXPECT_EQ(WindowFromPoint(POINT{120, 80}), c);
    EXPECT_EQ(WindowFromPoint(POINT{300, 200}), p);
    EXPECT_EQ(ChildWindowFromPoint(p, POINT{15, 25}), c);
    EXPECT_EQ(ChildWindowFromPoint(p, POINT{200, 150}), p);
    EXPECT_EQ(ChildWindowFromPoint(p, POINT{900, 900}), nullptr);
}

TEST_F(Windows, AbsurdSizesAreClampedAndMovingSendsSizeAndMove) {
    HWND h = CreateWindowEx(0, "Test_plain", "", WS_POPUP, -100000, 0, 1 << 30, -5, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, -32767);
    EXPECT_EQ(r.right - r.left, 32767);
    EXPECT_EQ(r.bottom - r.top, 0);
    QImage img = win_backing_image(h);
    EXPECT_LE(static_cast<long long>(img.width()) * img.height(), 16LL * 1024 * 1024);
    log().clear();
    EXPECT_TRUE(MoveWindow(h, 1, 2, 30, 40, TRUE));
    EXPECT_EQ(messages({WM_SIZE, WM_MOVE}), (std::vector<UINT>{WM_MOVE, WM_SIZE}));
    EXPECT_EQ(entries(WM_SIZE)[0].lp, MAKELPARAM(30, 40));
    log().clear();
    MoveWindow(h, 1, 2, 30, 40, TRUE); // nothing changed: no WM_SIZE
    EXPECT_TRUE(entries(WM_SIZE).empty());
    HWND wide = top(0, 0, 40000, 40000);
    GetClientRect(wide, &r);
    EXPECT_EQ(r.right, 32767);
    EXPECT_LE(win_backing_image(wide).width(), 8192);
}

TEST_F(Windows, FocusMovesWithKillAndSetFocusMessages) {
    HWND p = top();
    HWND a = child(p, 1, 0, 0, 10, 10);
    HWND b = child(p, 2, 0, 0, 10, 10);
    SetFocus(a);
    log().clear();
    EXPECT_EQ(SetFocus(b), a);
    ASSERT_EQ(messages({WM_KILLFOCUS, WM_SETFOCUS}),
              (std::vector<UINT>{WM_KILLFOCUS, WM_SETFOCUS}));
    EXPECT_EQ(entries(WM_KILLFOCUS)[0].hwnd, a);
    EXPECT_EQ(entries(WM_KILLFOCUS)[0].wp, reinterpret_cast<WPARAM>(b));
    EXPECT_EQ(entries(WM_SETFOCUS)[0].wp, reinterpret_cast<WPARAM>(a));
    EXPECT_EQ(GetFocus(), b);
    // Disabling the focus window takes the focus away.
    log().clear();
    EXPECT_FALSE(EnableWindow(b, FALSE));
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(messages({WM_KILLFOCUS, WM_ENABLE}), (std::vector<UINT>{WM_KILLFOCUS, WM_ENABLE}));
    EXPECT_FALSE(IsWindowEnabled(b));
    EXPECT_TRUE(EnableWindow(b, TRUE));
    // Destroying the focus window leaves no focus.
    SetFocus(a);
    DestroyWindow(a);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Windows, ActivationDeactivatesTheOldWindowFirst) {
    HWND x = top();
    HWND y = top(300, 10);
    SetActiveWindow(x);
    log().clear();
    EXPECT_EQ(SetActiveWindow(y), x);
    std::vector<std::pair<HWND, WORD>> acts;
    for (const Logged& l : entries(WM_ACTIVATE)) acts.push_back({l.hwnd, LOWORD(l.wp)});
    EXPECT_EQ(acts, (std::vector<std::pair<HWND, WORD>>{{x, WA_INACTIVE}, {y, WA_ACTIVE}}));
    EXPECT_EQ(GetActiveWindow(), y);
    EXPECT_EQ(GetFocus(), y); // default handling of WM_ACTIVATE
    EXPECT_EQ(GetTopWindow(nullptr), y);
    // Hiding the active window activates another.
    ShowWindow(y, SW_HIDE);
    EXPECT_EQ(GetActiveWindow(), x);
}

// The window manager's activation is taken without asking the window system
// for it again: that echo, crossing another activation on its way, made the
// main window and an owned tool window take the activation from each other
// for ever (the program hung). The program's own activations still ask.
TEST_F(Windows, WindowManagerActivationIsTakenWithoutAskingAgain) {
    HWND x = top();
    HWND y = top(300, 10);
    SetActiveWindow(x);
    auto& s = win::st();
    const std::uint64_t asked = s.activation_requests;
    log().clear();
    win::window_manager_activated(y);
    EXPECT_EQ(GetActiveWindow(), y);
    EXPECT_EQ(s.activation_requests, asked);
    ASSERT_EQ(entries(WM_ACTIVATE).size(), 2u); // x inactive, y active
    EXPECT_EQ(s.wm_activating, nullptr);
    win::window_manager_activated(x);
    win::window_manager_activated(y);
    EXPECT_EQ(s.activation_requests, asked);
    // Already active: nothing is sent.
    log().clear();
    win::window_manager_activated(y);
    EXPECT_TRUE(entries(WM_ACTIVATE).empty());
    // The program's own choice asks the window system.
    SetActiveWindow(x);
    EXPECT_EQ(s.activation_requests, asked + 1);

    // A window disabled under its modal box hands the activation to the box,
    // which is asked to come forward.
    HWND box = CreateWindowEx(0, "Test_plain", "box", WS_POPUP | WS_VISIBLE, 40, 40, 100, 80, x,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(box, nullptr);
    SetActiveWindow(box);
    EnableWindow(x, FALSE);
    const std::uint64_t before = s.activation_requests;
    win::window_manager_activated(x);
    EXPECT_EQ(GetActiveWindow(), box);
    EXPECT_EQ(s.activation_requests, before + 1);
    EnableWindow(x, TRUE);
}

// A dialog whose first field takes the focus before the dialog shows is made
// active while hidden; showing it then asks the window system to bring it
// forward with the keyboard (without a window manager nothing else would),
// and an owned window stays above its owner in the stacking when the owner
// is activated again.
TEST_F(Windows, AWindowMadeActiveWhileHiddenAsksForTheKeyboardWhenShown) {
    HWND owner = top();
    SetActiveWindow(owner);
    HWND d = CreateWindowEx(0, "Test_plain", "dialog", WS_POPUP | WS_CAPTION, 40, 40, 200, 120,
                            owner, nullptr, nullptr, nullptr);
    ASSERT_NE(d, nullptr);
    HWND field = child(d, 100, 5, 5, 80, 20);
    auto& s = win::st();
    SetFocus(field); // makes the hidden dialog active
    EXPECT_EQ(GetActiveWindow(), d);
    const std::uint64_t asked = s.activation_requests;
    ShowWindow(d, SW_SHOW);
    EXPECT_EQ(s.activation_requests, asked + 1);
    EXPECT_EQ(GetFocus(), field);
    // The owner activated again: the dialog still stands above it.
    SetActiveWindow(owner);
    const auto at = [&](HWND h) {
        return std::find(s.toplevels.begin(), s.toplevels.end(), h) - s.toplevels.begin();
    };
    EXPECT_LT(at(d), at(owner));
}

TEST_F(Windows, ShowWindowReportsThePreviousStateAndMaximises) {
    HWND h = top(10, 10, 100, 80, WS_POPUP);
    EXPECT_FALSE(ShowWindow(h, SW_SHOWNA));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_TRUE(ShowWindow(h, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(h));
    HWND p = top(0, 0, 400, 300);
    HWND c = child(p, 1, 10, 10, 50, 50);
    log().clear();
    ShowWindow(c, SW_SHOWMAXIMIZED);
    EXPECT_TRUE(IsZoomed(c));
    RECT r;
    GetClientRect(c, &r);
    EXPECT_EQ(r.right, 400);
    ASSERT_FALSE(entries(WM_SIZE).empty());
    EXPECT_EQ(entries(WM_SIZE).back().wp, SIZE_MAXIMIZED);
    ShowWindow(c, SW_RESTORE);
    GetClientRect(c, &r);
    EXPECT_EQ(r.right, 50);
    EXPECT_EQ(entries(WM_SIZE).back().wp, SIZE_RESTORED);
    ShowWindow(p, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(c)); // a hidden parent hides its children
}

TEST_F(Windows, ClassesRegisterOnceAndUnregisterOnlyWithoutWindows) {
    WNDCLASS wc{};
    wc.lpfnWndProc = record_proc;
    wc.lpszClassName = "Test_plain";
    EXPECT_EQ(RegisterClass(&wc), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    wc.lpszClassName = "Test_extra";
    wc.cbWndExtra = -4;
    EXPECT_EQ(RegisterClass(&wc), 0);
    wc.cbWndExtra = 4;
    wc.cbClsExtra = 4;
    EXPECT_NE(RegisterClass(&wc), 0);
    HWND h = CreateWindowEx(0, "TEST_EXTRA", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                            nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SetClassLong(h, 0, 5), 0u);
    EXPECT_EQ(GetClassLong(h, 0), 5u);
    EXPECT_EQ(GetClassLong(h, 1), 0u);
    char name[32];
    EXPECT_EQ(GetClassName(h, name, sizeof name), 10);
    EXPECT_STREQ(name, "Test_extra");
    EXPECT_FALSE(UnregisterClass("Test_extra", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow(h);
    EXPECT_TRUE(UnregisterClass("test_extra", nullptr));
    WNDCLASS out{};
    EXPECT_FALSE(GetClassInfo(nullptr, "Test_extra", &out));
}

// There are 0x3FFF class atoms (0xC000 to 0xFFFE). A class registered and
// unregistered more often than that (a dialog's class made for each showing,
// or every test of a long test run) still registers, and the classes that
// live at the same time keep distinct atoms.
TEST_F(Windows, AtomsOfUnregisteredClassesAreTakenAgain) {
    WNDCLASS wc{};
    wc.lpfnWndProc = record_proc;
    wc.lpszClassName = "Test_kept";
    ATOM kept = RegisterClass(&wc);
    ASSERT_NE(kept, 0);
    wc.lpszClassName = "Test_churn";
    for (int i = 0; i < 0x4000 + 10; ++i) {
        ATOM a = RegisterClass(&wc);
        ASSERT_NE(a, 0) << "registration " << i;
        ASSERT_NE(a, kept);
        ASSERT_GE(a, 0xC000);
        ASSERT_LT(a, 0xFFFF);
        ASSERT_TRUE(UnregisterClass("Test_churn", nullptr));
    }
    // Two classes alive together never share an atom.
    ATOM a = RegisterClass(&wc);
    wc.lpszClassName = "Test_churn2";
    ATOM b = RegisterClass(&wc);
    EXPECT_NE(a, 0);
    EXPECT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(a, kept);
    EXPECT_NE(b, kept);
    HWND h = CreateWindowEx(0, "Test_churn2", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                            nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetClassLong(h, GCW_ATOM), b);
    DestroyWindow(h);
    UnregisterClass("Test_churn", nullptr);
    UnregisterClass("Test_churn2", nullptr);
    UnregisterClass("Test_kept", nullptr);
}

TEST_F(Windows, StandardControlClassesExistOnFirstUseAlsoAfterAReset) {
    // Nobody registered the controls in this test: the classes come with the
    // first use of their names, whatever the case.
    HWND parent = top();
    const char* names[] = {"BUTTON",   "edit",      "Static",         "ListBox",
                           "combobox", "ScrollBar", "SysTabControl32"};
    int id = 100;
    for (const char* n : names) {
        HWND c = child(parent, ++id, 5, 5, 80, 20, WS_CHILD | WS_VISIBLE, n);
        ASSERT_NE(c, nullptr) << n;
        char name[32];
        GetClassName(c, name, sizeof name);
        EXPECT_STRCASEEQ(name, n);
        EXPECT_NE(win_widget(c), nullptr) << n; // a real control widget
    }
    HWND edit = GetDlgItem(parent, 102);
    SetWindowText(edit, "typed");
    char text[16];
    EXPECT_EQ(GetWindowText(edit, text, sizeof text), 5);
    EXPECT_STREQ(text, "typed");
    EXPECT_EQ(SendMessage(edit, EM_GETLINECOUNT, 0, 0), 1);

    test_driver::reset();
    // The reset dropped them (nothing to unregister) ...
    EXPECT_FALSE(UnregisterClass("ListBox", nullptr));
    // ... and they come back when asked for, by GetClassInfo as well.
    WNDCLASS wc{};
    EXPECT_TRUE(GetClassInfo(nullptr, "ListBox", &wc));
    EXPECT_NE(wc.lpfnWndProc, nullptr);
    parent = top(10, 10, 200, 150, WS_POPUP | WS_VISIBLE, WC_STATIC); // ours went too
    ASSERT_NE(parent, nullptr);
    HWND list = child(parent, 7, 5, 5, 80, 60, WS_CHILD | WS_VISIBLE, WC_LISTBOX);
    ASSERT_NE(list, nullptr);
    SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("one"));
    EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 1);
    // Other unknown names still fail.
    EXPECT_EQ(child(parent, 8, 0, 0, 5, 5, WS_CHILD, "Buttons"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(Windows, CloseRequestsGoThroughSysCommandToDestruction) {
    HWND h = top();
    test_driver::run_until_idle();
    QWidget* w = win_widget(h);
    ASSERT_NE(w, nullptr);
    log().clear();
    w->close(); // what the window manager's close button does
    test_driver::run_until_idle();
    EXPECT_EQ(messages({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}),
              (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Windows, RectangleHelpers) {
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, r;
    EXPECT_TRUE(IntersectRect(&r, &a, &b));
    RECT want{5, 5, 10, 10};
    EXPECT_TRUE(EqualRect(&r, &want));
    EXPECT_TRUE(UnionRect(&r, &a, &b));
    EXPECT_EQ(r.right, 20);
    RECT far{30, 30, 40, 40};
    EXPECT_FALSE(IntersectRect(&r, &a, &far));
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_TRUE(PtInRect(&a, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    RECT top_cut{0, 0, 10, 4};
    EXPECT_TRUE(SubtractRect(&r, &a, &top_cut));
    EXPECT_EQ(r.top, 4);
    InflateRect(&a, 2, 3);
    EXPECT_EQ(a.left, -2);
    EXPECT_EQ(a.bottom, 13);
}

} // namespace

namespace {

TEST_F(Windows, AWindowWithoutAMinimiseBoxMinimisedByTheWindowManagerComesBack) {
    HWND owner = CreateWindowEx(0, "Test_plain", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND dialog = CreateWindowEx(WS_EX_DLGMODALFRAME, "Test_plain", "About",
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 10, 10, 150, 80,
                                 owner, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    QWidget* dw = win_widget(dialog);
    QWidget* ow = win_widget(owner);
    ASSERT_NE(dw, nullptr);
    // As the window manager's minimise button does it.
    dw->setWindowState(Qt::WindowMinimized);
    ow->setWindowState(Qt::WindowMinimized);
    test_driver::run_until_idle();
    EXPECT_FALSE(dw->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(dw->isVisible());
    // A window with a minimise box stays minimised.
    EXPECT_TRUE(ow->windowState() & Qt::WindowMinimized);
}

// The first and last of a window's siblings, from any of them; nothing before
// the first or after the last.
TEST_F(Windows, FirstAndLastSiblingsFromAnyOfThem) {
    HWND p = top();
    HWND a = child(p, 1, 0, 0, 10, 10);
    HWND b = child(p, 2, 0, 0, 10, 10);
    HWND c = child(p, 3, 0, 0, 10, 10);
    for (HWND from : {a, b, c}) {
        EXPECT_EQ(GetWindow(from, GW_HWNDFIRST), a);
        EXPECT_EQ(GetWindow(from, GW_HWNDLAST), c);
    }
    EXPECT_EQ(GetWindow(a, GW_HWNDPREV), nullptr);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(c, GW_HWNDPREV), b);
}

// A procedure that answers the text message with more than the buffer holds
// (its own whole length) still gets a count that fits: at most the buffer
// less its terminating zero, and the text ends inside the buffer.
TEST_F(Windows, WindowTextCountsNeverRunPastTheBuffer) {
    hook() = [](HWND, UINT m, WPARAM wp, LPARAM lp, LRESULT* out) {
        if (m != WM_GETTEXT) return false;
        char* buf = reinterpret_cast<char*>(lp);
        const char text[] = "a long title";
        std::size_t n = std::min<std::size_t>(wp, sizeof text);
        std::memcpy(buf, text, n);
        *out = static_cast<LRESULT>(sizeof text - 1);
        return true;
    };
    HWND h = top();
    ASSERT_NE(h, nullptr);
    char text[5];
    EXPECT_EQ(GetWindowText(h, text, sizeof text), 4);
    EXPECT_STREQ(text, "a lo");
    char roomy[32];
    EXPECT_EQ(GetWindowText(h, roomy, sizeof roomy), 12);
    EXPECT_STREQ(roomy, "a long title");
}

// A parent window that only sets the colours a label asks for (no brush)
// still has the label painted in its background colour.
TEST_F(Windows, ALabelTakesABackgroundColourItsParentSetsWithoutABrush) {
    hook() = [](HWND, UINT m, WPARAM wp, LPARAM, LRESULT* out) {
        if (m != WM_CTLCOLORSTATIC) return false;
        SetBkColor(reinterpret_cast<HDC>(wp), RGB(0, 255, 0));
        *out = 0;
        return true;
    };
    HWND parent = top();
    ASSERT_NE(parent, nullptr);
    HWND label =
        CreateWindowEx(0, WC_STATIC, "L", WS_CHILD | WS_VISIBLE | SS_LEFT, 5, 5, 60, 16, parent,
                       reinterpret_cast<HMENU>(static_cast<std::intptr_t>(7)), nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    QImage shot = win_widget(label)->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(QColor(shot.pixel(shot.width() - 2, shot.height() - 2)), QColor(0, 255, 0));
}

} // namespace
