// What windows get without asking: default places that step down the work
// area, the parent's notices of a child's birth and death, and class names cut
// to the caller's buffer.
#include "win_fixture.h"

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
