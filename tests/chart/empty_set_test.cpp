// A data set with no points beside others leaves the y range where the
// others put it: it has no value to pull the range to zero with.
#include "chart/data.h"

#include <gtest/gtest.h>

namespace {

TEST(ChartEmptySet, AnEmptySetBesideOthersLeavesTheYRangeAlone) {
    for (double sign : {1.0, -1.0}) {
        SCOPED_TRACE(sign > 0 ? "above zero" : "below zero");
        CChartData data(nullptr, 1);
        data.SetZeroFactor(0.0); // zero is never drawn in for these data
        data.SelectDataSet(2);   // set 1 made on the way, and left empty
        for (double y : {50.0, 60.0, 55.0}) data.AddPoint(y, sign * y);
        data.SelectDataSet(4); // set 3 the same
        for (double y : {45.0, 52.0}) data.AddPoint(y, sign * y);
        data.SelectDataSet(5); // chosen, and never given a point
        const double lo = sign > 0 ? 45.0 : -60.0, hi = sign > 0 ? 60.0 : -45.0;
        EXPECT_EQ(data.GetYMin(), lo);
        EXPECT_EQ(data.GetYMax(), hi);
        EXPECT_EQ(data.GetYSpan(), 15.0);
        // The same sets with the empty ones left out give the same range.
        CChartData full(nullptr, 1);
        full.SetZeroFactor(0.0);
        for (double y : {50.0, 60.0, 55.0}) full.AddPoint(y, sign * y);
        full.SelectDataSet(2);
        for (double y : {45.0, 52.0}) full.AddPoint(y, sign * y);
        EXPECT_EQ(full.GetYMin(), data.GetYMin());
        EXPECT_EQ(full.GetYMax(), data.GetYMax());
    }
}

} // namespace
