// A tick's box (what depth sorting and overlap tests read): the extents of
// its three points, kept with them through scaling and moving.
#include "chart/tick.h"
#include "chart/vertex.h"

#include <gtest/gtest.h>

namespace {

void expect_box(const CChartTick& t, double x0, double x1, double y0, double y1, double z0,
                double z1) {
    EXPECT_DOUBLE_EQ(t.GetTransformedMinX(), x0);
    EXPECT_DOUBLE_EQ(t.GetTransformedMaxX(), x1);
    EXPECT_DOUBLE_EQ(t.GetTransformedMinY(), y0);
    EXPECT_DOUBLE_EQ(t.GetTransformedMaxY(), y1);
    EXPECT_DOUBLE_EQ(t.GetTransformedMinZ(), z0);
    EXPECT_DOUBLE_EQ(t.GetTransformedMaxZ(), z1);
}

TEST(TickBox, TheBoxHoldsTheThreePointsThroughScalingAndMoving) {
    CChartTick t(new CChartVertex(1, 2, 3), new CChartVertex(4, -1, 0), new CChartVertex(2, 5, -2));
    expect_box(t, 1, 4, -1, 5, -2, 3);
    t.Scale(2, 3, 0.5);
    expect_box(t, 2, 8, -3, 15, -1, 1.5);
    t.Translate(10, -5, 1);
    expect_box(t, 12, 18, -8, 10, 0, 2.5);
    // Scaling again is about the offset moved by: the box grows about it.
    t.Scale(2, 1, 2);
    expect_box(t, 14, 26, -8, 10, -1, 4);
}

} // namespace
