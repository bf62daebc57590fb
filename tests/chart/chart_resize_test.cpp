// A chart control made smaller shows its picture again at once: the whole
// window is marked for repainting, not only what a larger size uncovered.
#include "chart/chart.h"
#include "chart_fixture.h"
#include "tests/driver/driver.h"

namespace {

TEST(ChartCtrlSize, AResizedChartIsRepaintedWhole) {
    test_driver::start();
    CChartCtrl ctrl;
    ctrl.CreateChart(4, 1, 3);
    for (int i = 0; i <= 10; ++i) ctrl.AddPoint(1, i, i * i);
    RECT r{0, 0, 400, 300};
    ASSERT_TRUE(ctrl.Create(WS_VISIBLE, r, static_cast<HWND>(nullptr), 101));
    HWND hwnd = ctrl.m_hWnd;
    UpdateWindow(hwnd);
    RECT dirty{};
    EXPECT_FALSE(GetUpdateRect(hwnd, &dirty, FALSE));
    for (const SIZE s : {SIZE{300, 200}, SIZE{320, 260}}) {
        SetWindowPos(hwnd, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER);
        RECT client{};
        GetClientRect(hwnd, &client);
        ASSERT_TRUE(GetUpdateRect(hwnd, &dirty, FALSE)) << s.cx;
        EXPECT_EQ(dirty.left, 0);
        EXPECT_EQ(dirty.top, 0);
        EXPECT_EQ(dirty.right, client.right);
        EXPECT_EQ(dirty.bottom, client.bottom);
        UpdateWindow(hwnd);
    }
    DestroyWindow(hwnd);
}

} // namespace
