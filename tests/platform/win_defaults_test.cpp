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
