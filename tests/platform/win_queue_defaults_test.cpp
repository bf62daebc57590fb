// The queue and the default window procedure as a user meets them: a timer
// fires the moment it is due, shifted keys give the characters printed on
// them, moves with another button or key state stay apart, controls get the
// system's colours, and a frame's lower left corner sizes from that corner.
#include "win_fixture.h"

#include <string>

using namespace wintest;

namespace {

class QueueDefaults : public WinTest {};

TEST_F(QueueDefaults, ATimerIsThereTheMomentItIsDue) {
    HWND h = top();
    test_driver::run_until_idle();
    ASSERT_NE(SetTimer(h, 9, 100, nullptr), 0u);
    MSG m{};
    test_driver::clock().advance(99);
    EXPECT_FALSE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    test_driver::clock().advance(1);
    ASSERT_TRUE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(m.wParam, 9u);
    // Taken: the next one is a whole interval away.
    EXPECT_FALSE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    test_driver::clock().advance(100);
    EXPECT_TRUE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    KillTimer(h, 9);
}

// Characters of key-downs posted without typed text, by the key state (each
// key's characters come before anything else queued, so one key at a time).
std::string translated(HWND h, std::initializer_list<int> keys) {
    log().clear();
    for (int vk : keys) {
        MSG m{h, WM_KEYDOWN, static_cast<WPARAM>(vk), 1, 0, {}, 0};
        TranslateMessage(&m);
        test_driver::run_until_idle(100000, false);
    }
    std::string out;
    for (const Logged& l : entries(WM_CHAR)) out.push_back(static_cast<char>(l.wp));
    return out;
}

TEST_F(QueueDefaults, ShiftedKeysGiveTheCharactersPrintedAboveThem) {
    HWND h = top();
    test_driver::run_until_idle();
    EXPECT_EQ(translated(h, {'1', '0', 'A', VK_OEM_MINUS, VK_OEM_2}), "10a-/");
    win_set_key_state(VK_SHIFT, true);
    EXPECT_EQ(translated(h, {'1', '2', '9', '0', 'A', VK_OEM_MINUS, VK_OEM_2, VK_OEM_1}),
              "!@()A_?:");
    // Caps lock turns letters only, and shift turns them back.
    win_set_key_state(VK_CAPITAL, false, true);
    EXPECT_EQ(translated(h, {'A', '1'}), "a!");
    win_set_key_state(VK_SHIFT, false);
    EXPECT_EQ(translated(h, {'A', '1'}), "A1");
    win_set_key_state(VK_CAPITAL, false, false);
}

TEST_F(QueueDefaults, MovesWithAnotherKeyStateAreNotMergedIntoOne) {
    HWND h = top(0, 0, 200, 200);
    test_driver::run_until_idle();
    log().clear();
    test_driver::mouse_move(h, 1, 1);
    test_driver::mouse_move(h, 2, 2, test_driver::shift);
    test_driver::mouse_move(h, 3, 3, test_driver::shift);
    test_driver::run_until_idle(100000, false);
    auto moves = entries(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].wp, 0u);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lp), 1);
    EXPECT_EQ(moves[1].wp, static_cast<WPARAM>(MK_SHIFT));
    EXPECT_EQ(GET_X_LPARAM(moves[1].lp), 3);
}

TEST_F(QueueDefaults, ControlsGetTheSystemColoursOfTheirKind) {
    HWND h = top();
    HDC dc = GetDC(h);
    struct Kind {
        UINT message;
        int back;
    };
    const Kind kinds[] = {
        {WM_CTLCOLOREDIT, COLOR_WINDOW},        {WM_CTLCOLORLISTBOX, COLOR_WINDOW},
        {WM_CTLCOLORSTATIC, COLOR_BTNFACE},     {WM_CTLCOLORBTN, COLOR_BTNFACE},
        {WM_CTLCOLORDLG, COLOR_BTNFACE},        {WM_CTLCOLORMSGBOX, COLOR_BTNFACE},
        {WM_CTLCOLORSCROLLBAR, COLOR_SCROLLBAR}};
    // Colours of our own first, so the layer's own choice shows.
    const int indexes[] = {COLOR_WINDOW, COLOR_BTNFACE, COLOR_SCROLLBAR, COLOR_WINDOWTEXT};
    const COLORREF ours[] = {RGB(250, 240, 230), RGB(200, 190, 180), RGB(150, 140, 130),
                             RGB(10, 20, 30)};
    COLORREF was[4];
    for (int i = 0; i < 4; ++i) was[i] = GetSysColor(indexes[i]);
    ASSERT_TRUE(SetSysColors(4, indexes, ours));
    for (const Kind& k : kinds) {
        SetBkColor(dc, RGB(1, 1, 1));
        SetTextColor(dc, RGB(2, 2, 2));
        const LRESULT brush = DefWindowProc(h, k.message, reinterpret_cast<WPARAM>(dc), 0);
        EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(k.back))) << k.message;
        EXPECT_EQ(GetBkColor(dc), GetSysColor(k.back)) << k.message;
        EXPECT_EQ(GetTextColor(dc), RGB(10, 20, 30)) << k.message;
        LOGBRUSH lb{};
        GetObject(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb);
        EXPECT_EQ(lb.lbColor, GetSysColor(k.back)) << k.message; // the brush follows the colour
    }
    SetSysColors(4, indexes, was);
    ReleaseDC(h, dc);
}

TEST_F(QueueDefaults, TheLowerLeftCornerOfAFrameSizesFromThatCorner) {
    HWND p = top(0, 0, 400, 300);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME;
    HWND c = child(p, 1, 150, 40, 120, 100, style);
    test_driver::run_until_idle();
    RECT before, client;
    GetWindowRect(c, &before);
    GetClientRect(c, &client);
    const POINT corner{-2, client.bottom + 2}; // on the frame, left of and below the client
    test_driver::drag(c, corner, POINT{corner.x - 15, corner.y + 25});
    test_driver::run_until_idle();
    RECT after;
    GetWindowRect(c, &after);
    EXPECT_EQ(after.left, before.left - 15);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.bottom, before.bottom + 25);
}

} // namespace
