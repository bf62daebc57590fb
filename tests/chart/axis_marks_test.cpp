// Axis tick marks: their length as a share of the box, minor marks at half
// length, marks hidden and shown again, and the step of a sequence axis.
#include "chart/axis.h"
#include "chart/data.h"
#include "chart/plot.h"
#include "chart/tick.h"
#include "chart/vertex.h"
#include "chart_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct AxisMarks : ::testing::Test {
    CChartData data{nullptr, 3};
    CChartAxesPlot plot{1, 1};
    void SetUp() override {
        data.SetPlot(&plot);
        data.AddPoint(0, -4);
        data.AddPoint(10, 4);
    }
    CChartAxis& y() { return *plot.GetAxis(3); }
    // How far a tick's mark runs across the box, in box units.
    static double mark(const CChartTick* t) {
        return t->GetEnd()->GetTransformedX() - t->GetMiddle()->GetTransformedX();
    }
};

TEST_F(AxisMarks, MarksAreAShareOfTheBoxAndMinorMarksHalfAsLong) {
    y().SetTickCount(8);
    ASSERT_EQ(y().SetTickLength(10), 1); // ten per cent
    ASSERT_EQ(y().SetMajorEvery(2), 1);
    plot.Build(&data);
    data.Notify(1, 1, 1, 1, 1);
    const double across = y().GetBox()[15];
    ASSERT_GT(across, 0.0);
    int majors = 0, minors = 0;
    for (int i = 1; i <= y().GetTickCountUsed(); ++i) {
        const double m = mark(y().GetTick(i));
        if (std::fabs(m - 0.10 * across) < 1e-6)
            ++majors;
        else if (std::fabs(m - 0.05 * across) < 1e-6)
            ++minors;
        else
            ADD_FAILURE() << "tick " << i << " mark " << m << " of " << across;
    }
    EXPECT_GT(majors, 0);
    EXPECT_GT(minors, 0);
}

TEST_F(AxisMarks, HiddenMarksComeBackWhenShown) {
    y().SetTickCount(8);
    plot.Build(&data);
    ASSERT_GT(y().GetTickCountUsed(), 2);
    y().SetHideTickMarks(1);
    for (int i = 1; i <= y().GetTickCountUsed(); ++i)
        EXPECT_EQ(y().GetTick(i)->GetSecondSegment(), 0) << i;
    y().SetHideTickMarks(0);
    for (int i = 1; i <= y().GetTickCountUsed(); ++i)
        EXPECT_EQ(y().GetTick(i)->GetSecondSegment(), 1) << i;
    // Grid lines on none of the ticks is a setting like any other.
    EXPECT_EQ(y().SetGridEvery(0), 1);
    for (int i = 1; i <= y().GetTickCountUsed(); ++i)
        EXPECT_EQ(y().GetTick(i)->GetFirstSegment(), 0) << i;
    EXPECT_EQ(y().SetGridEvery(-1), 0);
}

// Ten points of a sequence over five ticks: a tick every second point (the
// points are counted, not the distance from the first to the last).
TEST(AxisSequence, TheStepOfASequenceCountsItsPoints) {
    CChartData data{nullptr, 1};
    CChartAxesPlot plot{1, 1};
    data.SetPlot(&plot);
    CChartSeries* set = data.SelectDataSet(1);
    for (int i = 1; i <= 10; ++i) set->AddPoint(i, i * 2.0, 0); // points 1 to 10 of the run
    ASSERT_EQ(data.GetXMode(), 1);
    CChartAxis& x = *plot.GetAxis(2);
    x.SetTickCount(5);
    plot.Build(&data);
    EXPECT_DOUBLE_EQ(x.GetStep(), 2.0);
}

} // namespace

namespace {

// Where labels of two axes meet, an axis's zero and the ends of its runs
// come first: from -4 to 4 those are 0, 4 and -4, and no other of its
// numbers, the first of the run below zero neither.
TEST(AxisPriority, TheZeroAndTheEndsOfTheRunsComeFirst) {
    CChartData data{nullptr, 3};
    CChartAxesPlot plot{1, 1};
    data.SetPlot(&plot);
    data.AddPoint(1, -4);
    data.AddPoint(10, 4);
    CChartAxis& y = *plot.GetAxis(3);
    y.SetTickCount(8);
    plot.Build(&data);
    data.Notify(1, 1, 1, 1, 1);
    charttest::Canvas cv(300, 200);
    CChartDC dc(&cv.cdc);
    ASSERT_FALSE(y.HasScaleLabels());
    std::vector<RECT> first;
    y.PriorityLabels(&dc, plot.GetAxis(2), first);
    std::vector<std::string> labels;
    for (int i = 1; i <= y.GetTickCountUsed(); ++i) labels.emplace_back(y.GetTick(i)->GetLabel());
    ASSERT_NE(std::find(labels.begin(), labels.end(), "-1"), labels.end());
    EXPECT_EQ(first.size(), 3u) << ::testing::PrintToString(labels);
}

} // namespace
