// Painting: update regions, the paint pass with its erase, the retained
// backing image (kept across paints and resizes, drawn on outside paints),
// clipping to the update region, scrolling, class device contexts.
#include "platform/win_internal.h"
#include "win_fixture.h"

#include <QCoreApplication>
#include <QEvent>

#include <QImage>

using namespace wintest;

namespace {

class Paint : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        red_ = CreateSolidBrush(RGB(255, 0, 0));
        blue_ = CreateSolidBrush(RGB(0, 0, 255));
        WNDCLASS wc{};
        wc.lpfnWndProc = record_proc;
        wc.hbrBackground = red_;
        wc.lpszClassName = "Test_red";
        ASSERT_NE(RegisterClass(&wc), 0);
        wc.style = CS_OWNDC;
        wc.hbrBackground = nullptr;
        wc.lpszClassName = "Test_owndc";
        ASSERT_NE(RegisterClass(&wc), 0);
    }
    void TearDown() override {
        WinTest::TearDown();
        DeleteObject(red_);
        DeleteObject(blue_);
    }
    static QRgb at(HWND h, int x, int y) { return win_backing_image(h).pixel(x, y) & 0xFFFFFF; }
    HBRUSH red_ = nullptr;
    HBRUSH blue_ = nullptr;
};

constexpr QRgb kRed = 0xFF0000;
constexpr QRgb kBlue = 0x0000FF;
constexpr QRgb kWhite = 0xFFFFFF;

TEST_F(Paint, UpdateWindowPaintsTheInvalidPartAfterErasingIt) {
    HWND h = top(0, 0, 200, 100, WS_POPUP | WS_VISIBLE, "Test_red");
    test_driver::run_until_idle(); // first paint: the class brush fills everything
    EXPECT_EQ(at(h, 150, 50), kRed);
    RECT seen{};
    BOOL erase_flag = TRUE;
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hw, &ps);
        seen = ps.rcPaint;
        erase_flag = ps.fErase;
        RECT all{0, 0, 200, 100};
        FillRect(dc, &all, blue_);
        EndPaint(hw, &ps);
        return true;
    };
    log().clear();
    RECT part{10, 20, 30, 40};
    InvalidateRect(h, &part, TRUE);
    RECT upd;
    EXPECT_TRUE(GetUpdateRect(h, &upd, FALSE));
    EXPECT_EQ(upd.left, 10);
    EXPECT_EQ(upd.bottom, 40);
    UpdateWindow(h);
    EXPECT_EQ(messages({WM_PAINT, WM_ERASEBKGND}), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
    EXPECT_EQ(seen.left, 10);
    EXPECT_EQ(seen.top, 20);
    EXPECT_EQ(seen.right, 30);
    EXPECT_EQ(seen.bottom, 40);
    EXPECT_FALSE(erase_flag); // the class brush erased it
    EXPECT_FALSE(GetUpdateRect(h, &upd, FALSE));
    // Drawing is clipped to the update region: the rest of the image is kept.
    EXPECT_EQ(at(h, 15, 25), kBlue);
    EXPECT_EQ(at(h, 150, 50), kRed);
    EXPECT_EQ(at(h, 9, 25), kRed);
    log().clear();
    UpdateWindow(h); // nothing invalid: no paint
    EXPECT_TRUE(entries(WM_PAINT).empty());
}

TEST_F(Paint, BackingImageKeepsDrawingFromOutsideThePaintPass) {
    HWND h = top(0, 0, 120, 80);
    test_driver::run_until_idle();
    EXPECT_EQ(at(h, 60, 40), kWhite); // COLOR_WINDOW background
    HDC dc = GetDC(h);
    ASSERT_NE(dc, nullptr);
    RECT r{50, 30, 70, 50};
    FillRect(dc, &r, blue_);
    EXPECT_EQ(ReleaseDC(h, dc), 1);
    EXPECT_EQ(ReleaseDC(h, dc), 0); // released already
    EXPECT_EQ(at(h, 60, 40), kBlue);
    // A later paint of another part leaves it.
    RECT other{0, 0, 10, 10};
    InvalidateRect(h, &other, TRUE);
    test_driver::run_until_idle();
    EXPECT_EQ(at(h, 60, 40), kBlue);
    // Growing the window keeps the content and invalidates only the new strip.
    MoveWindow(h, 0, 0, 160, 80, TRUE);
    EXPECT_EQ(at(h, 60, 40), kBlue);
    RECT upd;
    ASSERT_TRUE(GetUpdateRect(h, &upd, FALSE));
    EXPECT_EQ(upd.left, 120);
    EXPECT_EQ(upd.right, 160);
}

TEST_F(Paint, PaintComesOnlyForVisibleWindowsAndParentsFirst) {
    HWND p = top(0, 0, 100, 100);
    HWND c = child(p, 1, 0, 0, 50, 50);
    HWND hidden = top(0, 0, 50, 50, WS_POPUP);
    log().clear();
    test_driver::run_until_idle();
    std::vector<HWND> painted;
    for (const Logged& l : entries(WM_PAINT)) painted.push_back(l.hwnd);
    EXPECT_EQ(painted, (std::vector<HWND>{p, c}));
    log().clear();
    ShowWindow(hidden, SW_SHOWNA);
    test_driver::run_until_idle();
    ASSERT_EQ(entries(WM_PAINT).size(), 1u);
    EXPECT_EQ(entries(WM_PAINT)[0].hwnd, hidden);
}

TEST_F(Paint, AProcedureThatNeverValidatesIsNotPaintedForEver) {
    HWND h = top();
    hook() = [](HWND, UINT m, WPARAM, LPARAM, LRESULT*) { return m == WM_PAINT; };
    EXPECT_GE(test_driver::run_until_idle(100), 0);
    EXPECT_EQ(entries(WM_PAINT).size(), 1u);
    ValidateRect(h, nullptr);
    InvalidateRect(h, nullptr, FALSE);
    RECT part{0, 0, 5, 5};
    ValidateRect(h, &part);
    RECT upd;
    ASSERT_TRUE(GetUpdateRect(h, &upd, FALSE));
    EXPECT_EQ(upd.left, 0); // a region minus a corner still spans the client
}

TEST_F(Paint, ScrollingMovesPixelsAndInvalidatesTheUncoveredStrip) {
    HWND h = top(0, 0, 100, 50);
    test_driver::run_until_idle();
    HDC dc = GetDC(h);
    RECT left{0, 0, 50, 50}, right{50, 0, 100, 50};
    FillRect(dc, &left, red_);
    FillRect(dc, &right, blue_);
    ReleaseDC(h, dc);
    RECT upd{};
    int kind = ScrollWindowEx(h, -10, 0, nullptr, nullptr, nullptr, &upd, SW_INVALIDATE);
    EXPECT_EQ(kind, SIMPLEREGION);
    EXPECT_EQ(upd.left, 90);
    EXPECT_EQ(upd.right, 100);
    EXPECT_EQ(at(h, 39, 10), kRed);
    EXPECT_EQ(at(h, 40, 10), kBlue); // was x = 50
    RECT inv;
    ASSERT_TRUE(GetUpdateRect(h, &inv, FALSE));
    EXPECT_EQ(inv.left, 90);
    // Scrolling a part only: pixels outside it stay.
    ValidateRect(h, nullptr);
    RECT band{0, 0, 100, 20};
    ScrollWindowEx(h, 0, 5, &band, &band, nullptr, nullptr, SW_INVALIDATE);
    EXPECT_EQ(at(h, 10, 30), kRed);
    ASSERT_TRUE(GetUpdateRect(h, &inv, FALSE));
    EXPECT_EQ(inv.top, 0);
    EXPECT_EQ(inv.bottom, 5);
}

TEST_F(Paint, ScrollWindowMovesChildren) {
    HWND p = top(0, 0, 200, 200);
    HWND c = child(p, 1, 10, 10, 20, 20);
    ScrollWindow(p, 5, 7, nullptr, nullptr);
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 17);
}

TEST_F(Paint, ClassContextKeepsItsStateAcrossCalls) {
    HWND h = top(0, 0, 60, 60, WS_POPUP | WS_VISIBLE, "Test_owndc");
    HDC a = GetDC(h);
    ASSERT_NE(a, nullptr);
    SetTextColor(a, RGB(1, 2, 3));
    EXPECT_EQ(ReleaseDC(h, a), 1);
    HDC b = GetDC(h);
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetTextColor(b), RGB(1, 2, 3));
    HDC painted = nullptr;
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        painted = BeginPaint(hw, &ps);
        EndPaint(hw, &ps);
        return true;
    };
    test_driver::run_until_idle();
    EXPECT_EQ(painted, a);
    DestroyWindow(h);
    EXPECT_EQ(GetTextColor(a), CLR_INVALID); // the context went with the window
}

// A class context is drawn on outside paint passes, also after ReleaseDC: its
// screen follows such drawing, and an idle window is not repainted at every
// wait for input (that kept the program busy while a diagram was open).
TEST_F(Paint, AClassContextsScreenFollowsItsDrawingAndRestsWhenIdle) {
    HWND h = top(0, 0, 60, 60, WS_POPUP | WS_VISIBLE, "Test_owndc");
    HDC dc = GetDC(h);
    ASSERT_NE(dc, nullptr);
    ReleaseDC(h, dc);
    win::Window* w = win::get(h);
    ASSERT_TRUE(w && w->widget);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    w->widget->installEventFilter(&counter);
    auto settle = [] {
        for (int i = 0; i < 3; ++i) {
            test_driver::run_until_idle();
            QCoreApplication::processEvents();
        }
    };
    settle();
    const int settled = counter.paints;
    const std::uint64_t updates = win_screen_updates(h);
    settle();
    EXPECT_EQ(counter.paints, settled);
    EXPECT_EQ(win_screen_updates(h), updates);
    // Drawn on after its release: the screen is asked to show it once.
    RECT r{0, 0, 10, 10};
    FillRect(dc, &r, blue_);
    EXPECT_EQ(at(h, 5, 5), kBlue);
    settle();
    EXPECT_EQ(win_screen_updates(h), updates + 1);
    settle();
    EXPECT_EQ(win_screen_updates(h), updates + 1);
    w->widget->removeEventFilter(&counter);
    DestroyWindow(h);
}

// A paint pass through a class context shows its region once (EndPaint);
// the drawing inside it does not also mark the whole window for showing.
TEST_F(Paint, APaintPassThroughAClassContextShowsItsRegionOnce) {
    HWND h = top(0, 0, 60, 60, WS_POPUP | WS_VISIBLE, "Test_owndc");
    hook() = [&](HWND hw, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hw, &ps);
        RECT all{0, 0, 60, 60};
        FillRect(dc, &all, blue_);
        EndPaint(hw, &ps);
        return true;
    };
    auto settle = [] {
        for (int i = 0; i < 3; ++i) {
            test_driver::run_until_idle();
            QCoreApplication::processEvents();
        }
    };
    settle();
    const std::uint64_t updates = win_screen_updates(h);
    RECT part{10, 10, 20, 20};
    InvalidateRect(h, &part, FALSE);
    UpdateWindow(h);
    settle();
    EXPECT_EQ(at(h, 15, 15), kBlue);
    EXPECT_EQ(win_screen_updates(h), updates + 1);
    // Drawing after the pass, through GetDC, is shown again.
    HDC dc = GetDC(h);
    RECT r{0, 0, 5, 5};
    FillRect(dc, &r, red_);
    ReleaseDC(h, dc);
    settle();
    EXPECT_EQ(at(h, 2, 2), kRed);
    EXPECT_EQ(win_screen_updates(h), updates + 2);
    hook() = nullptr;
    DestroyWindow(h);
}

TEST_F(Paint, RedrawWindowReachesChildrenWhenAsked) {
    HWND p = top(0, 0, 100, 100);
    HWND c = child(p, 1, 10, 10, 30, 30);
    test_driver::run_until_idle();
    log().clear();
    RedrawWindow(p, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(entries(WM_PAINT).size(), 1u);
    log().clear();
    RedrawWindow(p, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    std::vector<HWND> painted;
    for (const Logged& l : entries(WM_PAINT)) painted.push_back(l.hwnd);
    EXPECT_EQ(painted, (std::vector<HWND>{p, c}));
}

} // namespace

namespace {

TEST_F(Paint, RegionsInvalidateAndValidateExactly) {
    HWND h = top(0, 0, 100, 100);
    test_driver::run_until_idle();
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(50, 50, 60, 60);
    HRGN both = CreateRectRgn(0, 0, 0, 0);
    CombineRgn(both, a, b, RGN_OR);
    InvalidateRgn(h, both, FALSE);
    HRGN upd = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(h, upd, FALSE), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(upd, 5, 5));
    EXPECT_FALSE(PtInRegion(upd, 30, 30)); // between the two parts
    ValidateRgn(h, a);
    EXPECT_EQ(GetUpdateRgn(h, upd, FALSE), SIMPLEREGION);
    RECT box;
    GetUpdateRect(h, &box, FALSE);
    EXPECT_EQ(box.left, 50);
    EXPECT_EQ(box.right, 60);
    for (HRGN r : {a, b, both, upd}) DeleteObject(r);
}

} // namespace

namespace {

TEST_F(Paint, DrawingGoesOnAcrossAResizeOfTheBackingImage) {
    // A context kept across calls holds its painter open on the window image;
    // growing the window replaces that image, and drawing must land on the
    // new one with the old content kept.
    HWND h = top(0, 0, 120, 80);
    test_driver::run_until_idle();
    HDC dc = GetDC(h);
    ASSERT_NE(dc, nullptr);
    RECT a{10, 10, 30, 30};
    FillRect(dc, &a, blue_);
    MoveWindow(h, 0, 0, 200, 120, TRUE);
    RECT b{150, 90, 170, 110};
    FillRect(dc, &b, blue_);
    EXPECT_EQ(at(h, 20, 20), kBlue);
    EXPECT_EQ(at(h, 160, 100), kBlue);
    EXPECT_EQ(at(h, 100, 60), kWhite);
    // Scrolling paints on the image with a painter of its own.
    ScrollWindow(h, 5, 0, nullptr, nullptr);
    FillRect(dc, &a, blue_);
    EXPECT_EQ(at(h, 34, 20), kBlue);
    EXPECT_EQ(ReleaseDC(h, dc), 1);
}

} // namespace

namespace {

// The update rectangle says whether anything is left to paint; a region given
// to RedrawWindow is all it invalidates; asking for the update region with
// erasing erases at once; and an update area validated away takes its
// pending erase with it.
TEST_F(Paint, UpdateAreasAnswerWhatIsLeftAndEraseOnlyWhatIsPending) {
    HWND h = top(0, 0, 100, 100, WS_POPUP | WS_VISIBLE, "Test_red");
    ASSERT_NE(h, nullptr);
    test_driver::run_until_idle();
    RECT box{};
    ValidateRect(h, nullptr);
    EXPECT_FALSE(GetUpdateRect(h, &box, FALSE));
    RECT part{20, 30, 40, 50};
    InvalidateRect(h, &part, FALSE);
    EXPECT_TRUE(GetUpdateRect(h, &box, FALSE));
    ValidateRect(h, nullptr);

    HRGN r = CreateRectRgn(60, 10, 70, 25);
    RedrawWindow(h, nullptr, r, RDW_INVALIDATE);
    ASSERT_TRUE(GetUpdateRect(h, &box, FALSE));
    EXPECT_EQ(box.left, 60);
    EXPECT_EQ(box.top, 10);
    EXPECT_EQ(box.right, 70);
    EXPECT_EQ(box.bottom, 25);
    ValidateRect(h, nullptr);

    InvalidateRect(h, nullptr, TRUE);
    log().clear();
    HRGN upd = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetUpdateRgn(h, upd, TRUE), SIMPLEREGION);
    EXPECT_EQ(entries(WM_ERASEBKGND).size(), 1u);
    ValidateRect(h, nullptr);

    // Invalidated with erasing, then validated piece by piece to nothing: a
    // later invalidation without erasing paints without an erase.
    InvalidateRect(h, &part, TRUE);
    ValidateRect(h, &part);
    InvalidateRect(h, &part, FALSE);
    log().clear();
    UpdateWindow(h);
    EXPECT_EQ(entries(WM_PAINT).size(), 1u);
    EXPECT_EQ(entries(WM_ERASEBKGND).size(), 0u);
    DeleteObject(r);
    DeleteObject(upd);
}

} // namespace
