// Input from Qt: mouse messages with their packing, routing to the window
// under the pointer or to the capture window, double clicks only for
// CS_DBLCLKS classes, keys and characters, input order, disabled windows.
#include "win_fixture.h"

using namespace wintest;
using test_driver::Button;

namespace {

class Input : public WinTest {};

std::vector<UINT> mouse_log(HWND only = nullptr) {
    return messages({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                     WM_MOUSEMOVE},
                    only);
}

TEST_F(Input, ClickPacksClientPointAndButtonFlags) {
    HWND h = top(50, 60, 200, 150);
    test_driver::run_until_idle();
    log().clear();
    test_driver::click(h, 30, 40, Button::left, test_driver::ctrl);
    test_driver::run_until_idle();
    auto downs = entries(WM_LBUTTONDOWN);
    auto ups = entries(WM_LBUTTONUP);
    ASSERT_EQ(downs.size(), 1u);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, h);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lp), 30);
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lp), 40);
    EXPECT_EQ(downs[0].wp, MK_LBUTTON | MK_CONTROL);
    EXPECT_EQ(ups[0].wp, MK_CONTROL);
    // Each mouse message is preceded by WM_SETCURSOR (hit test in the low word).
    auto cursors = entries(WM_SETCURSOR);
    ASSERT_FALSE(cursors.empty());
    EXPECT_EQ(LOWORD(cursors[0].lp), HTCLIENT);
    EXPECT_EQ(HIWORD(cursors[0].lp), WM_LBUTTONDOWN);
}

TEST_F(Input, MouseGoesToTheDeepestChildUnderThePointer) {
    HWND p = top(0, 0, 300, 200);
    HWND c = child(p, 1, 100, 50, 80, 60);
    HWND g = child(c, 2, 10, 10, 20, 20);
    test_driver::run_until_idle();
    log().clear();
    test_driver::click(p, 115, 65);  // inside the grandchild
    test_driver::click(p, 150, 100); // inside the child only
    test_driver::click(p, 5, 5);     // the parent
    test_driver::run_until_idle();
    auto downs = entries(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[0].hwnd, g);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lp), 5);
    EXPECT_EQ(downs[1].hwnd, c);
    EXPECT_EQ(GET_X_LPARAM(downs[1].lp), 50);
    EXPECT_EQ(downs[2].hwnd, p);
}

// The middle and right buttons are told apart in a move's flags, and with
// shift as well.
TEST_F(Input, HeldButtonsAreToldApartInTheMovesFlags) {
    HWND h = top(0, 0, 200, 150);
    test_driver::run_until_idle();
    SetCapture(h); // the buttons' own activation aside
    log().clear();
    test_driver::mouse_down(h, 10, 10, Button::middle);
    test_driver::mouse_move(h, 20, 20, test_driver::shift);
    test_driver::mouse_up(h, 20, 20, Button::middle);
    test_driver::mouse_down(h, 20, 20, Button::right);
    test_driver::mouse_move(h, 30, 30);
    test_driver::mouse_up(h, 30, 30, Button::right);
    test_driver::run_until_idle();
    ASSERT_EQ(entries(WM_MBUTTONDOWN).size(), 1u);
    EXPECT_EQ(entries(WM_MBUTTONDOWN)[0].wp, static_cast<WPARAM>(MK_MBUTTON));
    auto moves = entries(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].wp, static_cast<WPARAM>(MK_MBUTTON | MK_SHIFT));
    EXPECT_EQ(moves[1].wp, static_cast<WPARAM>(MK_RBUTTON));
    ReleaseCapture();
}

// A captured pointer far past the window's edges reports the farthest
// position a message can carry, never one wrapped round to the other side.
TEST_F(Input, CapturedPointsFarAwayStopAtTheLargestPosition) {
    HWND h = top(0, 0, 200, 150);
    test_driver::run_until_idle();
    SetCapture(h);
    log().clear();
    test_driver::mouse_move(h, 40000, 50000);
    test_driver::mouse_move(h, 10, -45000, test_driver::shift);
    test_driver::run_until_idle();
    auto moves = entries(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lp), 32767);
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lp), 32767);
    EXPECT_EQ(GET_X_LPARAM(moves[1].lp), 10);
    EXPECT_EQ(GET_Y_LPARAM(moves[1].lp), -32768);
    ReleaseCapture();
}

TEST_F(Input, CaptureRoutesMouseToTheCaptureWindow) {
    HWND p = top(0, 0, 300, 200);
    HWND a = child(p, 1, 0, 0, 100, 100);
    HWND b = child(p, 2, 150, 0, 100, 100);
    test_driver::run_until_idle();
    SetCapture(a);
    log().clear();
    test_driver::mouse_move(p, 170, 20);
    test_driver::click(p, 160, 10);
    test_driver::run_until_idle();
    EXPECT_TRUE(mouse_log(b).empty());
    auto moves = entries(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].hwnd, a);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lp), 170); // a's client co-ordinates
    // Releasing tells the old capture window.
    log().clear();
    SetCapture(b);
    ASSERT_EQ(entries(WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(entries(WM_CAPTURECHANGED)[0].hwnd, a);
    EXPECT_EQ(entries(WM_CAPTURECHANGED)[0].lp, reinterpret_cast<LPARAM>(b));
    test_driver::mouse_move(p, 10, 10);
    test_driver::run_until_idle();
    ASSERT_EQ(entries(WM_MOUSEMOVE).size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(entries(WM_MOUSEMOVE)[0].lp), -140); // left of b
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(entries(WM_CAPTURECHANGED).back().hwnd, b);
    EXPECT_EQ(entries(WM_CAPTURECHANGED).back().lp, 0);
    // Destroying the capture window releases the capture.
    SetCapture(a);
    DestroyWindow(a);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Input, DoubleClicksOnlyForClassesThatAskForThem) {
    HWND plain = top(0, 0, 100, 100);
    HWND dbl = top(200, 0, 100, 100, WS_POPUP | WS_VISIBLE, "Test_dbl");
    test_driver::run_until_idle();
    log().clear();
    test_driver::double_click(plain, 10, 10);
    test_driver::double_click(dbl, 10, 10);
    test_driver::run_until_idle();
    EXPECT_EQ(mouse_log(plain),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(mouse_log(dbl),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
}

TEST_F(Input, MovesMergeAndInputKeepsItsArrivalOrder) {
    HWND h = top(0, 0, 200, 200);
    test_driver::run_until_idle();
    SetFocus(h);
    log().clear();
    test_driver::mouse_move(h, 1, 1);
    test_driver::mouse_move(h, 2, 2);
    test_driver::mouse_move(h, 3, 3);
    test_driver::mouse_down(h, 3, 3);
    test_driver::key_down('A');
    test_driver::mouse_move(h, 4, 4, test_driver::none);
    test_driver::mouse_up(h, 4, 4);
    PostMessage(h, WM_USER, 0, 0);
    test_driver::run_until_idle(100000, false);
    EXPECT_EQ(messages({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_USER}),
              (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_KEYDOWN, WM_MOUSEMOVE,
                                 WM_LBUTTONUP, WM_USER}));
    EXPECT_EQ(GET_X_LPARAM(entries(WM_MOUSEMOVE)[0].lp), 3); // the latest of the run
    EXPECT_EQ(entries(WM_MOUSEMOVE)[1].wp, MK_LBUTTON);
}

TEST_F(Input, KeysReachTheFocusWindowAndKeyStateFollowsTheQueue) {
    HWND p = top();
    HWND c = child(p, 1, 0, 0, 50, 50);
    test_driver::run_until_idle();
    SetFocus(c);
    SHORT ctrl_at_s = 0;
    hook() = [&](HWND, UINT m, WPARAM wp, LPARAM, LRESULT*) {
        if (m == WM_KEYDOWN && wp == 'S') ctrl_at_s = GetKeyState(VK_CONTROL);
        return false;
    };
    log().clear();
    test_driver::key_down('S', test_driver::ctrl);
    // Nothing taken from the queue yet: only the asynchronous state has moved.
    EXPECT_GE(GetKeyState(VK_CONTROL), 0);
    EXPECT_LT(GetAsyncKeyState(VK_CONTROL), 0);
    test_driver::key_up('S', test_driver::ctrl);
    EXPECT_GE(GetAsyncKeyState(VK_CONTROL), 0);
    test_driver::run_until_idle(100000, false);
    EXPECT_LT(ctrl_at_s, 0);
    EXPECT_GE(GetKeyState(VK_CONTROL), 0);
    auto downs = entries(WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0].wp, static_cast<WPARAM>(VK_CONTROL));
    EXPECT_EQ(downs[1].wp, static_cast<WPARAM>('S'));
    EXPECT_EQ(downs[1].hwnd, c);
    EXPECT_EQ(downs[1].lp & KF_UP_BIT, 0);
    auto ups = entries(WM_KEYUP);
    ASSERT_EQ(ups.size(), 2u);
    EXPECT_NE(ups[0].lp & KF_UP_BIT, 0);
    EXPECT_TRUE(entries(WM_CHAR).empty()); // not translated
}

TEST_F(Input, TranslateMessageMakesCharactersFromTypedText) {
    HWND h = top();
    test_driver::run_until_idle();
    SetFocus(h);
    log().clear();
    test_driver::type_text("aB1!");
    test_driver::run_until_idle();
    std::string typed;
    for (const Logged& l : entries(WM_CHAR)) typed.push_back(static_cast<char>(l.wp));
    EXPECT_EQ(typed, "aB1!");
    // Each character follows its own key-down.
    std::vector<UINT> seq = messages({WM_KEYDOWN, WM_CHAR});
    ASSERT_GE(seq.size(), 2u);
    EXPECT_EQ(seq[0], WM_KEYDOWN);
    EXPECT_EQ(seq[1], WM_CHAR);
    // A posted key-down without Qt text still translates by its key code.
    log().clear();
    MSG m{h, WM_KEYDOWN, 'Q', 1, 0, {}, 0};
    EXPECT_TRUE(TranslateMessage(&m));
    test_driver::run_until_idle(100000, false);
    ASSERT_EQ(entries(WM_CHAR).size(), 1u);
    EXPECT_EQ(entries(WM_CHAR)[0].wp, static_cast<WPARAM>('q'));
}

TEST_F(Input, AltKeysAreSystemKeysAndKeysWithoutFocusGoToTheActiveWindow) {
    HWND h = top();
    test_driver::run_until_idle();
    SetActiveWindow(h);
    SetFocus(h);
    log().clear();
    test_driver::press_key('X', test_driver::alt);
    test_driver::run_until_idle(100000, false);
    auto sys = entries(WM_SYSKEYDOWN);
    ASSERT_EQ(sys.size(), 2u); // Alt itself, then X
    EXPECT_EQ(sys[1].wp, static_cast<WPARAM>('X'));
    EXPECT_NE(sys[1].lp & KF_ALTDOWN_BIT, 0);
    SetFocus(nullptr);
    log().clear();
    test_driver::press_key(VK_F1);
    test_driver::run_until_idle(100000, false);
    ASSERT_EQ(entries(WM_SYSKEYDOWN).size(), 1u);
    EXPECT_EQ(entries(WM_SYSKEYDOWN)[0].hwnd, h);
}

TEST_F(Input, DisabledWindowsGetNoMouseInput) {
    HWND p = top(0, 0, 200, 200);
    HWND c = child(p, 1, 0, 0, 100, 100);
    test_driver::run_until_idle();
    EnableWindow(p, FALSE);
    log().clear();
    test_driver::click(p, 10, 10);
    test_driver::click(p, 150, 150);
    test_driver::run_until_idle();
    EXPECT_TRUE(mouse_log().empty());
    EnableWindow(p, TRUE);
    EnableWindow(c, FALSE);
    test_driver::click(p, 10, 10); // over the disabled child: the parent gets it
    test_driver::run_until_idle();
    ASSERT_EQ(entries(WM_LBUTTONDOWN).size(), 1u);
    EXPECT_EQ(entries(WM_LBUTTONDOWN)[0].hwnd, p);
}

TEST_F(Input, ClickingAnInactiveWindowActivatesIt) {
    HWND a = top(0, 0, 100, 100);
    HWND b = top(200, 0, 100, 100);
    test_driver::run_until_idle();
    SetActiveWindow(a);
    log().clear();
    test_driver::click(b, 10, 10);
    EXPECT_EQ(GetActiveWindow(), b);
    auto ma = entries(WM_MOUSEACTIVATE);
    ASSERT_EQ(ma.size(), 1u);
    EXPECT_EQ(ma[0].hwnd, b);
    // A window answering "activate and eat" activates without the click.
    hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* out) {
        if (m != WM_MOUSEACTIVATE) return false;
        *out = MA_ACTIVATEANDEAT;
        return true;
    };
    log().clear();
    test_driver::click(a, 10, 10);
    test_driver::run_until_idle();
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(mouse_log(a), (std::vector<UINT>{WM_LBUTTONUP}));
}

TEST_F(Input, NonClientClicksCarryTheHitTestAndScreenPoint) {
    HWND p = top(0, 0, 300, 200);
    HWND c = child(p, 1, 20, 20, 100, 80, WS_CHILD | WS_VISIBLE | WS_CAPTION);
    test_driver::run_until_idle();
    log().clear();
    // The caption band lies above the client area.
    test_driver::click(c, 10, -5);
    test_driver::run_until_idle();
    auto nc = entries(WM_NCLBUTTONDOWN);
    ASSERT_EQ(nc.size(), 1u);
    EXPECT_EQ(nc[0].hwnd, c);
    EXPECT_EQ(static_cast<LRESULT>(nc[0].wp), HTCAPTION);
    POINT pt{10, -5};
    ClientToScreen(c, &pt);
    EXPECT_EQ(GET_X_LPARAM(nc[0].lp), pt.x);
    EXPECT_EQ(GET_Y_LPARAM(nc[0].lp), pt.y);
}

TEST_F(Input, WheelGoesToTheFocusWindowWithItsDelta) {
    HWND h = top();
    test_driver::run_until_idle();
    SetFocus(h);
    log().clear();
    test_driver::wheel(h, 5, 5, -120);
    test_driver::run_until_idle();
    ASSERT_EQ(entries(WM_MOUSEWHEEL).size(), 1u);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(entries(WM_MOUSEWHEEL)[0].wp), -120);
}

// The window under the pointer scrolls, not the one with the keyboard (a list
// scrolled while the typing stays in a field beside it).
TEST_F(Input, WheelGoesToTheWindowUnderThePointerBeforeTheFocus) {
    HWND p = top(0, 0, 300, 200);
    HWND field = child(p, 1, 0, 0, 100, 100);
    HWND list = child(p, 2, 150, 0, 100, 100);
    test_driver::run_until_idle();
    SetFocus(field);
    log().clear();
    test_driver::wheel(list, 10, 10, 240);
    test_driver::run_until_idle();
    auto wheels = entries(WM_MOUSEWHEEL);
    ASSERT_GE(wheels.size(), 1u);
    EXPECT_EQ(wheels[0].hwnd, list);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheels[0].wp), 240);
}

// Ctrl with Alt (the key that types the third character of a key on many
// keyboards) makes ordinary keys: they reach the focus window as key-downs.
TEST_F(Input, CtrlWithAltKeysAreOrdinaryKeys) {
    HWND h = top();
    test_driver::run_until_idle();
    SetActiveWindow(h);
    SetFocus(h);
    log().clear();
    test_driver::press_key('Q', test_driver::ctrl | test_driver::alt);
    test_driver::run_until_idle(100000, false);
    bool q_down = false;
    for (const Logged& l : entries(WM_KEYDOWN)) q_down |= l.wp == static_cast<WPARAM>('Q');
    EXPECT_TRUE(q_down);
    for (const Logged& l : entries(WM_SYSKEYDOWN)) EXPECT_NE(l.wp, static_cast<WPARAM>('Q'));
}

} // namespace

namespace {

class FrameDrag : public WinTest {};

TEST_F(FrameDrag, DraggingACaptionMovesAChildAndAnEdgeSizesIt) {
    HWND p = top(0, 0, 400, 300);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME;
    HWND c = child(p, 1, 50, 40, 120, 100, style);
    test_driver::run_until_idle();
    RECT before;
    GetWindowRect(c, &before);
    // The caption lies just above the client area.
    test_driver::drag(c, POINT{20, -8}, POINT{50, 12});
    test_driver::run_until_idle();
    RECT after;
    GetWindowRect(c, &after);
    EXPECT_EQ(after.left - before.left, 30);
    EXPECT_EQ(after.top - before.top, 20);
    EXPECT_EQ(after.right - after.left, 120);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(messages({WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}),
              (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE}));
    // The bottom-right corner of the frame sizes the window.
    RECT client;
    GetClientRect(c, &client);
    POINT corner{client.right + 2, client.bottom + 2};
    test_driver::drag(c, corner, POINT{corner.x + 15, corner.y + 25});
    test_driver::run_until_idle();
    RECT sized;
    GetWindowRect(c, &sized);
    EXPECT_EQ(sized.right - sized.left, 135);
    EXPECT_EQ(sized.bottom - sized.top, 125);
    EXPECT_EQ(sized.left, after.left);
}

} // namespace
