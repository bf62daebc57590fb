// The class-library window: created as a child through the window layer, its
// messages reach the virtual handlers, and destroying unbinds it.
#include "chart/mfc/mfc_wnd.h"
#include "platform/messages.h"
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <QImage>

#include <vector>

namespace {

struct Parent {
    HWND hwnd = nullptr;
    Parent() {
        test_driver::start();
        // Registered for each test: the driver's reset drops the classes left
        // without windows.
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "ChartTestParent";
        EXPECT_NE(RegisterClass(&wc), 0);
        hwnd = CreateWindowEx(0, "ChartTestParent", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    }
    ~Parent() { test_driver::reset(); }
};

struct Probe : CWnd {
    int paints = 0, sizes = 0, downs = 0, ups = 0;
    int cx = 0, cy = 0;
    POINT last{};
    void OnPaint() override {
        ++paints;
        CPaintDC dc(this);
        CBrush red(RGB(255, 0, 0));
        RECT rc;
        GetClientRect(&rc);
        HGDIOBJ old = dc.SelectObject(&red);
        dc.PatBlt(0, 0, rc.right, rc.bottom, PATCOPY);
        dc.SelectObject(old);
    }
    void OnSize(UINT, int w, int h) override {
        ++sizes;
        cx = w;
        cy = h;
    }
    void OnLButtonDown(UINT, POINT p) override {
        ++downs;
        last = p;
    }
    void OnLButtonUp(UINT, POINT) override { ++ups; }
};

TEST(MfcWnd, ChildReceivesItsMessagesAndPaints) {
    Parent parent;
    Probe probe;
    ASSERT_TRUE(probe.Create(nullptr, "Chart Control", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 60},
                             parent.hwnd, 101));
    ASSERT_NE(probe.m_hWnd, nullptr);
    EXPECT_EQ(GetParent(probe.m_hWnd), parent.hwnd);
    EXPECT_EQ(GetDlgCtrlID(probe.m_hWnd), 101);
    EXPECT_EQ(probe.cx, 100);
    EXPECT_EQ(probe.cy, 50);
    EXPECT_FALSE(probe.Create(nullptr, "again", WS_CHILD, RECT{0, 0, 5, 5}, parent.hwnd, 102));

    test_driver::run_until_idle();
    EXPECT_GE(probe.paints, 1);
    QImage shot = test_driver::image(probe.m_hWnd);
    ASSERT_EQ(shot.width(), 100);
    EXPECT_EQ(shot.pixel(40, 20) & 0xFFFFFF, 0xFF0000u);

    MoveWindow(probe.m_hWnd, 0, 0, 80, 40, TRUE);
    EXPECT_EQ(probe.cx, 80);
    test_driver::click(probe.m_hWnd, 7, 9);
    test_driver::run_until_idle();
    EXPECT_EQ(probe.downs, 1);
    EXPECT_EQ(probe.ups, 1);
    EXPECT_EQ(probe.last.x, 7);
    EXPECT_EQ(probe.last.y, 9);

    CDC* dc = probe.GetDC();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->owner, probe.m_hWnd);
    EXPECT_EQ(probe.ReleaseDC(dc), 1);

    HWND h = probe.m_hWnd;
    EXPECT_TRUE(probe.DestroyWindow());
    EXPECT_EQ(probe.m_hWnd, nullptr);
    EXPECT_FALSE(IsWindow(h));
}

TEST(MfcWnd, ObjectDestroyedFirstTakesItsWindowAlong) {
    Parent parent;
    HWND h;
    {
        Probe probe;
        ASSERT_TRUE(probe.Create(nullptr, "x", WS_CHILD, RECT{0, 0, 20, 20}, parent.hwnd, 1));
        h = probe.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(h));
    // The parent's destruction later reaches no freed object.
    DestroyWindow(parent.hwnd);
}

TEST(MfcGdi, ObjectsDeleteTheirHandles) {
    test_driver::start();
    HGDIOBJ h;
    {
        CPen pen(PS_SOLID, 2, RGB(1, 2, 3));
        h = pen.GetSafeHandle();
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetObjectType(h), static_cast<DWORD>(OBJ_PEN));
    }
    EXPECT_EQ(GetObjectType(h), 0u);
    CBrush b;
    EXPECT_TRUE(b.CreateSolidBrush(RGB(0, 0, 0)));
    HGDIOBJ mine = b.Detach();
    EXPECT_EQ(b.GetSafeHandle(), nullptr);
    EXPECT_TRUE(DeleteObject(mine));
    try {
        AfxThrowResourceException();
        FAIL();
    } catch (CResourceException* e) {
        e->Delete();
    }
}

} // namespace

namespace {

// Records the control-colour kinds and answers with the default handling,
// after asking the window something of its own first (a handler that sends
// before it falls back to the default).
struct ColourProbe : CWnd {
    std::vector<UINT> kinds;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) override {
        kinds.push_back(kind);
        SendMessage(m_hWnd, WM_GETTEXTLENGTH, 0, 0);
        return CWnd::OnCtlColor(dc, wnd, kind);
    }
};

TEST(MfcWnd, ControlColourKindsCountFromTheMessageBoxAndTheDefaultAnswersTheOuterMessage) {
    Parent parent;
    ColourProbe probe;
    ASSERT_TRUE(probe.Create(nullptr, "named", WS_CHILD, RECT{0, 0, 40, 20}, parent.hwnd, 7));
    HDC dc = GetDC(probe.m_hWnd);
    // Message box 0, edit 1, list box 2, button 3, dialog 4, scroll bar 5, static 6.
    const UINT messages[] = {WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX,
                             WM_CTLCOLORBTN,    WM_CTLCOLORDLG,  WM_CTLCOLORSCROLLBAR,
                             WM_CTLCOLORSTATIC};
    std::vector<LRESULT> answers;
    for (UINT m : messages)
        answers.push_back(SendMessage(probe.m_hWnd, m, reinterpret_cast<WPARAM>(dc), 0));
    ReleaseDC(probe.m_hWnd, dc);
    EXPECT_EQ(probe.kinds, (std::vector<UINT>{0, 1, 2, 3, 4, 5, 6}));
    // The default for an edit is the window colour's brush, for a static the
    // button face's: the nested question did not become the message answered.
    EXPECT_EQ(answers[1], reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(answers[6], reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
}

TEST(MfcGdi, ANewObjectInAnOwnerDeletesTheOldOne) {
    test_driver::start();
    CBrush b(RGB(255, 0, 0));
    HGDIOBJ first = b.GetSafeHandle();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(b.CreateSolidBrush(RGB(0, 0, 255)));
    EXPECT_NE(b.GetSafeHandle(), first);
    EXPECT_EQ(GetObjectType(first), 0u);
    LOGBRUSH lb{};
    ASSERT_EQ(GetObject(b.GetSafeHandle(), sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbColor, RGB(0, 0, 255));

    CPen p(PS_SOLID, 1, RGB(1, 1, 1));
    HGDIOBJ pen = p.GetSafeHandle();
    EXPECT_TRUE(p.CreatePen(PS_DASH, 1, RGB(2, 2, 2)));
    EXPECT_EQ(GetObjectType(pen), 0u);
}

TEST(MfcGdi, TheContextReadsBackTheColoursAndModeItWasGiven) {
    test_driver::start();
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    CDC dc;
    ASSERT_TRUE(dc.Attach(mem));
    dc.SetTextColor(RGB(10, 20, 30));
    dc.SetBkColor(RGB(200, 100, 50));
    EXPECT_EQ(dc.GetTextColor(), RGB(10, 20, 30));
    EXPECT_EQ(dc.GetBkColor(), RGB(200, 100, 50));
    EXPECT_EQ(dc.SetTextColor(RGB(1, 2, 3)), RGB(10, 20, 30));
    EXPECT_EQ(dc.SetBkColor(RGB(4, 5, 6)), RGB(200, 100, 50));
    const int was = dc.SetBkMode(TRANSPARENT);
    EXPECT_EQ(dc.SetBkMode(OPAQUE), TRANSPARENT);
    dc.SetBkMode(was);
    // A context holds one device until it lets it go.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_FALSE(dc.Attach(other));
    EXPECT_EQ(dc.GetTextColor(), RGB(1, 2, 3));
    EXPECT_EQ(dc.Detach(), mem);
    EXPECT_EQ(dc.owner, nullptr);
    EXPECT_TRUE(dc.Attach(other));
    EXPECT_EQ(dc.Detach(), other);
    DeleteDC(other);
    DeleteDC(mem);
}

} // namespace

namespace {

// A paint context gives its device back when it ends and has the painted
// part copied to the screen.
struct PaintProbe : CWnd {
    HDC used = nullptr;
    void OnPaint() override {
        CPaintDC dc(this);
        used = dc.m_hDC;
        CBrush blue(RGB(0, 0, 255));
        HGDIOBJ old = dc.SelectObject(&blue);
        dc.PatBlt(0, 0, 20, 20, PATCOPY);
        dc.SelectObject(old);
    }
};

TEST(MfcWnd, APaintContextGivesItsDeviceBackAndShowsThePaint) {
    Parent parent;
    PaintProbe probe;
    ASSERT_TRUE(
        probe.Create(nullptr, "p", WS_CHILD | WS_VISIBLE, RECT{0, 0, 40, 30}, parent.hwnd, 3));
    test_driver::run_until_idle();
    const std::uint64_t shown = win_screen_updates(probe.m_hWnd);
    InvalidateRect(probe.m_hWnd, nullptr, TRUE);
    test_driver::run_until_idle();
    ASSERT_NE(probe.used, nullptr);
    EXPECT_EQ(GetObjectType(probe.used), 0u); // the paint's device is gone
    EXPECT_GT(win_screen_updates(probe.m_hWnd), shown);
    EXPECT_EQ(test_driver::image(probe.m_hWnd).pixel(5, 5) & 0xFFFFFF, 0x0000FFu);
}

} // namespace
