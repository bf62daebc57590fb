// The ranges a chart is drawn over, as its data give them: the x step and
// ends by placement mode, stacked sums at every point, the depth of the data
// sets, bars placed at their own x, and the ranges and margins the control
// is given.
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/data.h"
#include "chart/plots.h"
#include "chart/tick.h"
#include "chart/view3d.h"
#include "chart_fixture.h"

#include <algorithm>

namespace {

TEST(ChartBounds, XStepAndEndsFollowThePlacementMode) {
    // Placed by their own x: the step is the finest spacing of any set.
    CChartData own(nullptr, 3);
    own.SelectDataSet(1);
    for (double x : {0.0, 2.0, 4.0}) own.AddPoint(x, 1);
    own.SelectDataSet(2);
    for (double x : {1.0, 1.5, 2.0}) own.AddPoint(x, 1);
    EXPECT_EQ(own.GetXStep(), 0.5);
    CChartData coarse(nullptr, 3);
    for (double x : {0.0, 3.0, 6.0}) coarse.AddPoint(x, 1);
    EXPECT_EQ(coarse.GetXStep(), 1.0) << "never coarser than one";

    // Placed by point number: four points run 1 to 4 counted from one and
    // 0 to 3 counted from zero; a longer second set reaches further.
    // (Points go straight into the sets: the data model's own AddPoint
    // switches to placement by x.)
    for (int mode : {1, 2}) {
        CChartData d(nullptr, mode);
        for (int i = 0; i < 4; ++i) d.SelectDataSet(1)->AddPoint(i + 1, i, 1);
        EXPECT_EQ(d.GetXMin(), mode == 1 ? 1.0 : 0.0) << mode;
        EXPECT_EQ(d.GetXMax(), mode == 1 ? 4.0 : 3.0) << mode;
        for (int i = 0; i < 6; ++i) d.SelectDataSet(2)->AddPoint(i + 1, i, 2);
        EXPECT_EQ(d.GetXMax(), mode == 1 ? 6.0 : 5.0) << mode;
        // Depth: the data sets, from zero up to the highest.
        EXPECT_EQ(d.GetZMin(), 0.0) << mode;
        EXPECT_EQ(d.GetZMax(), 2.0) << mode;
    }
}

// Stacks are summed at every point number, the last included: positives
// upward for the top, negatives downward for the bottom.
TEST(ChartBounds, StacksSumEveryPointTheLastIncluded) {
    CChartData d(nullptr, 1);
    d.SelectDataSet(1);
    for (double y : {1.0, 5.0}) d.AddPoint(0, y);
    d.SelectDataSet(2);
    for (double y : {1.0, 4.0}) d.AddPoint(0, y);
    d.SelectDataSet(3);
    for (double y : {-2.0, -3.0}) d.AddPoint(0, y);
    EXPECT_EQ(d.GetStackMax(), 9.0);  // 5 + 4 at the second point
    EXPECT_EQ(d.GetStackMin(), -3.0); // the second point's negatives
    // One set longer than the others: its last point stands alone.
    d.SelectDataSet(1);
    d.AddPoint(0, 12);
    EXPECT_EQ(d.GetStackMax(), 12.0);
}

// Bars placed at their own x reach half a step beyond the outer bars.
TEST(ChartBounds, BarsAtTheirOwnXReachHalfAStepPastTheOuterOnes) {
    CChartData d(nullptr, 3);
    for (double x : {2.0, 3.0, 4.0}) d.AddPoint(x, x);
    CChartPlot3D3 boxes;
    d.SetPlot(&boxes);
    boxes.Build(&d);
    EXPECT_DOUBLE_EQ(boxes.GetDataMin(0), 1.5);
    EXPECT_DOUBLE_EQ(boxes.GetDataMax(0), 4.5);

    CChartData h(nullptr, 3);
    for (double x : {10.0, 11.0, 13.0}) h.AddPoint(x, 1);
    CChartPlot2D2 across;
    h.SetPlot(&across);
    across.Build(&h);
    EXPECT_DOUBLE_EQ(across.GetDataMin(1), 9.5);
    EXPECT_DOUBLE_EQ(across.GetDataMax(1), 13.5);
}

// A y range given to the control is the range drawn even where the data lie
// near zero (zero is not pulled in); an x range likewise.
TEST(ChartBounds, TheControlsRangesAreKeptWhereTheDataLieNearZero) {
    CChartCtrl c;
    c.CreateChart(4, 1, 2);
    for (int i = 1; i <= 12; ++i) c.AddPoint(1, i, i);
    EXPECT_EQ(c.GetData()->GetYMin(), 0.0) << "before: zero drawn in";
    EXPECT_EQ(c.SetYRange(0.5, 20), 1);
    EXPECT_EQ(c.GetData()->GetYMin(), 0.5);
    EXPECT_EQ(c.GetData()->GetYMax(), 20.0);
    EXPECT_EQ(c.SetXRange(0.25, 15), 1);
    EXPECT_EQ(c.GetData()->GetXMin(), 0.25);
    EXPECT_EQ(c.GetData()->GetXMax(), 15.0);
}

// The axis flags: bit 0 hides the tick marks, bit 1 turns them inward.
TEST(ChartBounds, AxisFlagsHideOrTurnTheTicks) {
    for (int flags : {0, 1, 2, 3}) {
        CChartCtrl c;
        c.CreateChart(4, 1, 2);
        for (int i = 1; i <= 5; ++i) c.AddPoint(1, i, i);
        CChartAxis* a = c.SetAxis(2, 5, 1, 5.0, flags);
        ASSERT_NE(a, nullptr);
        charttest::Canvas cv(300, 200);
        c.OnDraw(&cv.cdc);
        ASSERT_GT(a->GetTickCountUsed(), 0) << flags;
        for (int i = 1; i <= a->GetTickCountUsed(); ++i)
            if (CChartTick* t = a->GetTick(i)) {
                EXPECT_EQ(t->IsFlipped(), (flags >> 1) & 1) << flags;
            }
    }
}

// View margins are the room left on each side of the plot: a wide left
// margin and a narrow right one put the plot box to the right.
TEST(ChartBounds, ViewMarginsLeaveTheirRoomOnTheirOwnSides) {
    struct Box {
        int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    };
    auto plot_box = [](double top, double bottom, double left, double right) {
        CChartCtrl c;
        c.CreateChart(4, 1, 2);
        for (int i = 1; i <= 5; ++i) c.AddPoint(1, i, i);
        EXPECT_EQ(c.SetViewRect(top, bottom, left, right), 1);
        charttest::Canvas cv(400, 300);
        c.OnDraw(&cv.cdc);
        Box b;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                if (cv.at(x, y) == RGB(192, 192, 192)) {
                    b.left = std::min(b.left, x);
                    b.right = std::max(b.right, x);
                    b.top = std::min(b.top, y);
                    b.bottom = std::max(b.bottom, y);
                }
        return b;
    };
    const Box even = plot_box(10, 10, 10, 10), to_right = plot_box(10, 10, 30, 5),
              to_bottom = plot_box(30, 5, 10, 10);
    ASSERT_GT(even.right, 0);
    ASSERT_GT(to_right.right, 0);
    ASSERT_GT(to_bottom.right, 0);
    EXPECT_GT(to_right.left, even.left);
    EXPECT_GT(to_right.right, even.right);
    EXPECT_GT(to_bottom.top, even.top);
    EXPECT_GT(to_bottom.bottom, even.bottom);
}

} // namespace
