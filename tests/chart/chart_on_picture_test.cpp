// A chart drawn by the control over what is already on the device (a copy
// pasted onto a coloured page, a print over a form): its labels leave the
// page showing between their letters, and its lines start and end where
// their data sit on the axes.
#include "chart/chart.h"
#include "chart_fixture.h"

#include <algorithm>

namespace {

constexpr COLORREF page = RGB(255, 220, 0);

void fill_canvas(charttest::Canvas& cv, int w, int h, COLORREF colour) {
    HBRUSH b = CreateSolidBrush(colour);
    HGDIOBJ old = SelectObject(cv.dc, b);
    PatBlt(cv.dc, 0, 0, w, h, PATCOPY);
    SelectObject(cv.dc, old);
    DeleteObject(b);
}

TEST(ChartOnPicture, LabelsLeaveThePageShowingAroundTheirLetters) {
    const COLORREF back = RGB(200, 230, 255);
    for (int type : {4, 1, 6}) {
        CChartCtrl c;
        c.CreateChart(type, 1, 2);
        c.SetBackgroundBrush(back);
        for (int s = 1; s <= 2; ++s)
            for (int i = 0; i < 20; ++i) c.AddPoint(s, i, s * 10 + i);
        charttest::Canvas cv(400, 300);
        fill_canvas(cv, 400, 300, page);
        c.OnDraw(&cv.cdc);
        int dark = 0, boxed = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const COLORREF p = cv.at(x, y);
                dark += GetRValue(p) + GetGValue(p) + GetBValue(p) < 150;
                boxed += p == back;
            }
        EXPECT_GT(dark, 200) << "type " << type << ": the axes and their numbers are drawn";
        // A label's cell painted in the chart's background colour hides the page.
        EXPECT_EQ(boxed, 0) << "type " << type;
    }
}

// The plot box is the grey the plot fills; the first series draws in red.
struct Extent {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    void add(int x, int y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    bool empty() const { return right < 0; }
};

TEST(ChartOnPicture, ALineStartsAndEndsOverItsDataOnTheAxes) {
    CChartCtrl c;
    c.CreateChart(4, 1, 2);
    // One line from (15, 30) to (25, 50) on axes from 10 to 30 and 20 to 60
    // (neither from zero): it spans the middle half of the box's width, from
    // a quarter of its height above the bottom to three quarters.
    for (int i = 0; i <= 10; ++i) c.AddPoint(1, 15 + i, 30 + 2 * i);
    c.SetXRange(10, 30);
    c.SetYRange(20, 60);
    charttest::Canvas cv(400, 300);
    c.OnDraw(&cv.cdc);
    Extent box, line;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const COLORREF p = cv.at(x, y);
            if (p == RGB(192, 192, 192)) box.add(x, y);
            if (p == RGB(255, 0, 0)) line.add(x, y);
        }
    ASSERT_FALSE(box.empty());
    ASSERT_FALSE(line.empty());
    const double w = box.right - box.left, h = box.bottom - box.top;
    ASSERT_GT(w, 100);
    ASSERT_GT(h, 100);
    EXPECT_NEAR(line.left, box.left + 0.25 * w, 3);
    EXPECT_NEAR(line.right, box.left + 0.75 * w, 3);
    EXPECT_NEAR(line.bottom, box.bottom - 0.25 * h, 3);
    EXPECT_NEAR(line.top, box.bottom - 0.75 * h, 3);
}

} // namespace
