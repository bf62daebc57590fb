// The ranges flat bar charts are drawn over: bars at their own x reach half
// a step past the outer ones, stacks reach their sums, and bars counted by
// point number take the room of one more point on the x axis, stacked or
// side by side alike.
#include "chart/axis.h"
#include "chart/data.h"
#include "chart/plots.h"
#include "chart/tick.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FlatBarBounds, BarsAtTheirOwnXReachHalfAStepPastTheOuterOnes) {
    CChartData d(nullptr, 3);
    for (double x : {2.0, 3.0, 4.0}) d.AddPoint(x, x);
    CChartPlot2D3 bars;
    d.SetPlot(&bars);
    bars.Build(&d);
    EXPECT_DOUBLE_EQ(bars.GetDataMin(0), 1.5);
    EXPECT_DOUBLE_EQ(bars.GetDataMax(0), 4.5);
    // Counted by point: the three bars stand in 0 to 3.
    CChartData n(nullptr, 2);
    for (int i = 0; i < 3; ++i) n.SelectDataSet(1)->AddPoint(i + 1, i + 1.0, 1);
    CChartPlot2D3 counted;
    n.SetPlot(&counted);
    counted.Build(&n);
    EXPECT_DOUBLE_EQ(counted.GetDataMin(0), 0.0);
    EXPECT_DOUBLE_EQ(counted.GetDataMax(0), 3.0);
}

// Stacked bars span the sums of their stacks, not the largest single value:
// 5 + 4 on top, -3 below.
TEST(FlatBarBounds, StackedBarsSpanTheirSums) {
    CChartData d(nullptr, 1);
    d.SelectDataSet(1);
    for (double y : {1.0, 5.0}) d.AddPoint(0, y);
    d.SelectDataSet(2);
    for (double y : {1.0, 4.0}) d.AddPoint(0, y);
    d.SelectDataSet(3);
    for (double y : {-2.0, -3.0}) d.AddPoint(0, y);
    CChartPlot2D8 stacks;
    d.SetPlot(&stacks);
    stacks.Build(&d);
    EXPECT_DOUBLE_EQ(stacks.GetDataMax(1), 9.0);
    EXPECT_DOUBLE_EQ(stacks.GetDataMin(1), -3.0);
    // Grouped bars of the same data reach only the largest value.
    CChartPlot2D3 groups;
    d.SetPlot(&groups);
    groups.Build(&d);
    EXPECT_DOUBLE_EQ(groups.GetDataMax(1), 5.0);
    // Two sets of bars side by side reach as deep whichever way the bars
    // stand.
    CChartData two(nullptr, 1);
    two.SelectDataSet(1);
    for (double y : {1.0, 2.0}) two.AddPoint(0, y);
    two.SelectDataSet(2);
    for (double y : {3.0, 4.0}) two.AddPoint(0, y);
    CChartPlot2D3 up;
    two.SetPlot(&up);
    up.Build(&two);
    CChartPlot2D2 across;
    two.SetPlot(&across);
    across.Build(&two);
    EXPECT_DOUBLE_EQ(up.GetDataMax(2), across.GetDataMax(2));
}

// The x axis's labels of a plot built over data counted from zero.
std::vector<std::string> x_labels(CChartAxesPlot& plot, CChartData& d) {
    d.SetPlot(&plot);
    plot.Build(&d);
    std::vector<std::string> out;
    CChartAxis* x = plot.GetAxis(2);
    if (!x) return out;
    for (int i = 1; i <= x->GetTickCountUsed(); ++i)
        if (CChartTick* t = x->GetTick(i)) out.emplace_back(t->GetLabel());
    return out;
}

TEST(FlatBarBounds, StackedBarsCountedFromZeroTakeTheGroupedBarsXAxis) {
    CChartData d(nullptr, 2);
    for (int i = 0; i < 4; ++i) {
        d.SelectDataSet(1)->AddPoint(i + 1, i + 1.0, 1);
        d.SelectDataSet(2)->AddPoint(i + 1, 2.0, 2);
    }
    CChartPlot2D3 groups;
    CChartPlot2D8 stacks;
    const auto grouped = x_labels(groups, d);
    ASSERT_FALSE(grouped.empty());
    EXPECT_EQ(x_labels(stacks, d), grouped);
}

} // namespace
