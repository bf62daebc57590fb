// Window geometry as a program relies on it: how much of a window its
// client-area edges and scroll bars take, where a maximised child's frame
// goes, where SetWindowPos puts a window in the stacking order, what a
// resize leaves to repaint, what WM_WINDOWPOSCHANGED says changed, and the
// offset MapWindowPoints answers.
#include "platform/controls.h"
#include "tests/platform/win_fixture.h"

namespace {

using namespace wintest;
using WindowGeometry = WinTest;

SIZE client_of(HWND h) {
    RECT r{};
    GetClientRect(h, &r);
    return SIZE{r.right, r.bottom};
}

// A sunken client edge takes two pixels a side, a static edge one, both
// three; AdjustWindowRectEx adds the same back.
TEST_F(WindowGeometry, ClientEdgesTakeTwoAndOnePixelsASide) {
    HWND p = top(0, 0, 400, 300);
    const struct {
        DWORD ex;
        int side;
    } cases[] = {{0, 0},
                 {WS_EX_CLIENTEDGE, 2},
                 {WS_EX_STATICEDGE, 1},
                 {WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, 3}};
    for (const auto& c : cases) {
        HWND h = CreateWindowEx(c.ex, "Test_plain", "", WS_CHILD | WS_VISIBLE, 5, 5, 100, 80, p,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(h, nullptr);
        const SIZE s = client_of(h);
        EXPECT_EQ(s.cx, 100 - 2 * c.side) << c.ex;
        EXPECT_EQ(s.cy, 80 - 2 * c.side) << c.ex;
        RECT adj{0, 0, s.cx, s.cy};
        AdjustWindowRectEx(&adj, WS_CHILD, FALSE, c.ex);
        EXPECT_EQ(adj.right - adj.left, 100) << c.ex;
        EXPECT_EQ(adj.left, -c.side) << c.ex;
        POINT origin{0, 0};
        ClientToScreen(h, &origin);
        EXPECT_EQ(origin.x, 5 + c.side) << c.ex;
    }
}

// A vertical scroll bar narrows the client, a horizontal one lowers it.
TEST_F(WindowGeometry, ScrollBarsTakeTheirSideOfTheClient) {
    HWND p = top(0, 0, 400, 300);
    HWND h = child(p, 1, 0, 0, 120, 90);
    const int vw = GetSystemMetrics(SM_CXVSCROLL), hh = GetSystemMetrics(SM_CYHSCROLL);
    ASSERT_GT(vw, 0);
    ASSERT_GT(hh, 0);
    ShowScrollBar(h, SB_VERT, TRUE);
    EXPECT_EQ(client_of(h).cx, 120 - vw);
    EXPECT_EQ(client_of(h).cy, 90);
    ShowScrollBar(h, SB_VERT, FALSE);
    ShowScrollBar(h, SB_HORZ, TRUE);
    EXPECT_EQ(client_of(h).cx, 120);
    EXPECT_EQ(client_of(h).cy, 90 - hh);
}

// A maximised child with a border fills its parent's client with its own
// client; the border lies outside, beyond the parent's client.
TEST_F(WindowGeometry, AMaximisedChildsFrameLiesOutsideItsParentsClient) {
    HWND p = top(0, 0, 400, 300);
    HWND c = child(p, 1, 10, 10, 50, 50, WS_CHILD | WS_VISIBLE | WS_BORDER);
    ShowWindow(c, SW_SHOWMAXIMIZED);
    const SIZE pc = client_of(p), cc = client_of(c);
    EXPECT_EQ(cc.cx, pc.cx);
    EXPECT_EQ(cc.cy, pc.cy);
    POINT origin{0, 0};
    MapWindowPoints(c, p, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
}

// A maximised child with a caption: its client fills its parent's client,
// the caption and the frame lie outside it, the caption above.
TEST_F(WindowGeometry, AMaximisedCaptionedChildsClientFillsItsParentsClient) {
    HWND p = top(0, 0, 400, 300);
    HWND c = child(p, 1, 10, 10, 80, 60, WS_CHILD | WS_VISIBLE | WS_CAPTION);
    ShowWindow(c, SW_SHOWMAXIMIZED);
    const SIZE pc = client_of(p), cc = client_of(c);
    EXPECT_EQ(cc.cx, pc.cx);
    EXPECT_EQ(cc.cy, pc.cy);
    POINT origin{0, 0};
    MapWindowPoints(c, p, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    RECT wr{};
    GetWindowRect(c, &wr);
    POINT pr{0, 0};
    ClientToScreen(p, &pr);
    EXPECT_LT(wr.top, pr.y - GetSystemMetrics(SM_CYCAPTION) + 1); // the caption above
    EXPECT_EQ(wr.bottom - (pr.y + pc.cy), pr.x - wr.left);        // frames alike below and left
}

// A child window made the size AdjustWindowRectEx answers for a client has
// that client, whatever its frame and caption (a top-level window's frame
// is the window manager's); and ScreenToClient undoes ClientToScreen.
TEST_F(WindowGeometry, AdjustedWindowRectsGiveTheClientAskedFor) {
    HWND p = top(0, 0, 500, 400);
    POINT base{0, 0};
    ClientToScreen(p, &base);
    const DWORD styles[] = {WS_CHILD | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME,
                            WS_CHILD | WS_VISIBLE | WS_CAPTION, WS_CHILD | WS_VISIBLE | WS_BORDER,
                            WS_CHILD | WS_VISIBLE | WS_DLGFRAME};
    for (DWORD style : styles) {
        SCOPED_TRACE(style);
        RECT r{0, 0, 230, 110};
        ASSERT_TRUE(AdjustWindowRectEx(&r, style, FALSE, 0));
        EXPECT_LT(r.left, 0);
        EXPECT_LT(r.top, 0);
        EXPECT_GT(r.right, 230);
        EXPECT_GT(r.bottom, 110);
        EXPECT_EQ(r.right - 230, -r.left); // the frame alike on both sides
        if ((style & WS_CAPTION) == WS_CAPTION) {
            EXPECT_GE(-r.top, GetSystemMetrics(SM_CYCAPTION));
            EXPECT_EQ(-r.top - GetSystemMetrics(SM_CYCAPTION), r.bottom - 110); // caption on top
        } else {
            EXPECT_EQ(-r.top, r.bottom - 110);
        }
        HWND h = CreateWindowEx(0, "Test_plain", "t", style, 50, 40, r.right - r.left,
                                r.bottom - r.top, p, nullptr, nullptr, nullptr);
        ASSERT_NE(h, nullptr);
        const SIZE s = client_of(h);
        EXPECT_EQ(s.cx, 230);
        EXPECT_EQ(s.cy, 110);
        POINT pt{17, 29};
        ClientToScreen(h, &pt);
        EXPECT_EQ(pt.x, base.x + 50 - r.left + 17);
        EXPECT_EQ(pt.y, base.y + 40 - r.top + 29);
        ScreenToClient(h, &pt);
        EXPECT_EQ(pt.x, 17);
        EXPECT_EQ(pt.y, 29);
        DestroyWindow(h);
    }
}

// SetWindowPos with a window to insert after puts it right below that one.
TEST_F(WindowGeometry, InsertAfterPutsTheWindowJustBelowTheOther) {
    HWND p = top();
    HWND a = child(p, 1, 0, 0, 10, 10), b = child(p, 2, 0, 0, 10, 10),
         c = child(p, 3, 0, 0, 10, 10);
    const auto order = [&] {
        std::vector<HWND> out;
        for (HWND w = GetWindow(p, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) out.push_back(w);
        return out;
    };
    ASSERT_EQ(order(), (std::vector<HWND>{a, b, c}));
    SetWindowPos(a, c, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{b, c, a}));
    SetWindowPos(a, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{b, a, c}));
    SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{b, a, c}));
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(order(), (std::vector<HWND>{c, b, a}));
}

// A class with CS_HREDRAW repaints all of a window that got wider, only the
// new strip of one that got taller; CS_VREDRAW the other way round.
TEST_F(WindowGeometry, RedrawStylesSayWhatAResizeRepaints) {
    WNDCLASS wc{};
    wc.lpfnWndProc = record_proc;
    wc.style = CS_HREDRAW;
    wc.lpszClassName = "Test_hredraw";
    ASSERT_NE(RegisterClass(&wc), 0);
    wc.style = CS_VREDRAW;
    wc.lpszClassName = "Test_vredraw";
    ASSERT_NE(RegisterClass(&wc), 0);
    const auto update_after = [&](const char* cls, int w, int h) {
        HWND p = top(0, 0, 300, 300);
        HWND c = child(p, 1, 0, 0, 100, 50, WS_CHILD | WS_VISIBLE, cls);
        ValidateRect(c, nullptr);
        MoveWindow(c, 0, 0, w, h, TRUE);
        RECT r{};
        GetUpdateRect(c, &r, FALSE);
        DestroyWindow(p);
        return r;
    };
    RECT r = update_after("Test_hredraw", 120, 50); // wider: all
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 120);
    r = update_after("Test_hredraw", 100, 70); // taller: the new rows only
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.bottom, 70);
    r = update_after("Test_vredraw", 100, 70); // taller: all
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 70);
    r = update_after("Test_vredraw", 120, 50); // wider: the new columns only
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right, 120);
}

// WM_WINDOWPOSCHANGED says what did not change: a pure resize keeps
// SWP_NOMOVE, a pure move SWP_NOSIZE.
TEST_F(WindowGeometry, PositionChangedSaysWhatStayed) {
    HWND h = top(10, 10, 100, 80);
    UINT flags = 0;
    hook() = [&](HWND, UINT m, WPARAM, LPARAM lp, LRESULT*) {
        if (m == WM_WINDOWPOSCHANGED) flags = reinterpret_cast<const WINDOWPOS*>(lp)->flags;
        return false;
    };
    SetWindowPos(h, nullptr, 10, 10, 150, 80, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(flags & SWP_NOMOVE);
    EXPECT_FALSE(flags & SWP_NOSIZE);
    SetWindowPos(h, nullptr, 40, 30, 150, 80, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(flags & SWP_NOMOVE);
    EXPECT_TRUE(flags & SWP_NOSIZE);
}

// MapWindowPoints answers the horizontal offset in its low word and the
// vertical one in its high word.
TEST_F(WindowGeometry, MapWindowPointsAnswersItsOffset) {
    HWND p = top(100, 50, 300, 200);
    HWND c = child(p, 1, 30, 7, 50, 40);
    const LRESULT r = MapWindowPoints(c, p, nullptr, 0);
    EXPECT_EQ(static_cast<short>(LOWORD(r)), 30);
    EXPECT_EQ(static_cast<short>(HIWORD(r)), 7);
    const LRESULT back = MapWindowPoints(p, c, nullptr, 0);
    EXPECT_EQ(static_cast<short>(LOWORD(back)), -30);
    EXPECT_EQ(static_cast<short>(HIWORD(back)), -7);
}

} // namespace

namespace {

using namespace wintest;
using WindowLongs = WinTest;

// GWL_HWNDPARENT answers a child's parent and a top-level window's owner.
TEST_F(WindowLongs, TheParentLongIsTheParentOrTheOwner) {
    HWND p = top();
    HWND c = child(p, 1, 0, 0, 10, 10);
    EXPECT_EQ(reinterpret_cast<HWND>(GetWindowLongPtr(c, GWL_HWNDPARENT)), p);
    HWND owned = CreateWindowEx(0, "Test_plain", "owned", WS_POPUP, 0, 0, 20, 20, p, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(reinterpret_cast<HWND>(GetWindowLongPtr(owned, GWL_HWNDPARENT)), p);
    EXPECT_EQ(GetWindowLongPtr(p, GWL_HWNDPARENT), 0);
}

// A new style changes the scroll bars it names, and never the child bit.
TEST_F(WindowLongs, AStyleTurnsScrollBarsOnAndKeepsTheChildBit) {
    HWND p = top(0, 0, 400, 300);
    HWND c = child(p, 1, 0, 0, 120, 90);
    const DWORD style = static_cast<DWORD>(GetWindowLongPtr(c, GWL_STYLE));
    SetWindowLongPtr(c, GWL_STYLE, static_cast<LONG_PTR>(style | WS_VSCROLL));
    RECT r{};
    GetClientRect(c, &r);
    EXPECT_EQ(r.right, 120 - GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(r.bottom, 90);
    SetWindowLongPtr(c, GWL_STYLE, static_cast<LONG_PTR>(style | WS_HSCROLL));
    GetClientRect(c, &r);
    EXPECT_EQ(r.right, 120);
    EXPECT_EQ(r.bottom, 90 - GetSystemMetrics(SM_CYHSCROLL));
    SetWindowLongPtr(c, GWL_STYLE, static_cast<LONG_PTR>(style & ~static_cast<DWORD>(WS_CHILD)));
    EXPECT_TRUE(GetWindowLongPtr(c, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(GetParent(c), p);
}

} // namespace
