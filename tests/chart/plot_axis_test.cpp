// The plot's passes and settings, the axes' ticks over value ranges and
// series, the label layers and ticks, and a whole line-plot frame drawn:
// grey walls, grid lines and value labels, every pen and brush given back.
#include "chart/axis.h"
#include "chart/data.h"
#include "chart/labels.h"
#include "chart/plot.h"
#include "chart/tick.h"
#include "chart/view3d.h"
#include "chart_fixture.h"

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <vector>

using charttest::Canvas;

namespace {

std::vector<double> values(const CChartAxis& a) {
    std::vector<double> v;
    for (int i = 1; i <= a.GetTickCountUsed(); ++i)
        v.push_back(std::stod(a.GetTick(i)->GetLabel()));
    return v;
}

TEST(ChartTick, LabelAnchorFollowsAngleAndAnchors) {
    CChartTextStyle ts; // centred both ways
    ts.SetAngle(90);
    // cos(90 x 0.017453292) is slightly positive: both sums lie just above 10 and 40.
    CChartPoint p = CChartTick::AnchorLabel({100, 100}, 40, 10, ts);
    EXPECT_EQ(p.x, 95);
    EXPECT_EQ(p.y, 120);
    CChartTextStyle flat;
    flat.SetHAnchor1();
    flat.SetVAnchor2();
    p = CChartTick::AnchorLabel({100, 100}, 40, 10, flat);
    EXPECT_EQ(p.x, 60); // ends at the anchor
    EXPECT_EQ(p.y, 100);
    CChartTextStyle down;
    down.SetAngle(-90);
    down.SetHAnchor1();
    down.SetVAnchor1();
    p = CChartTick::AnchorLabel({100, 100}, 40, 10, down);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 139); // H is negative below 0 degrees: the text hangs below
}

TEST(ChartTick, LabelsAreShownOnlyWhenThereIsOne) {
    CChartTick t;
    t.ShowLabel(1);
    EXPECT_EQ(t.IsLabelShown(), 0);
    t.SetLabelText("Births");
    t.SetLabelText(nullptr);
    EXPECT_STREQ(t.GetLabel(), "Births");
    EXPECT_EQ(t.IsLabelShown(), 1);
    t.SetLabelValue(2.5, "%g");
    EXPECT_STREQ(t.GetLabel(), "2.5");
}

struct PlotFixture : ::testing::Test {
    CChartData data{nullptr, 3};
    CChartAxesPlot plot{1, 1};
    void SetUp() override { data.SetPlot(&plot); }
    CChartAxis& y() { return *plot.GetAxis(3); }
    CChartAxis& x() { return *plot.GetAxis(2); }
};

TEST_F(PlotFixture, RangeTicksRunBothWaysFromZeroWithEndTicks) {
    data.AddPoint(0, -4);
    data.AddPoint(1, 4);
    y().SetTickCount(8);
    y().SetLabelEvery(1);
    plot.Build(&data);
    EXPECT_EQ(y().GetStep(), 1.0);
    EXPECT_EQ(values(y()), (std::vector<double>{0, 1, 2, 3, 4, -1, -2, -3, -4}));
    EXPECT_STREQ(y().GetMaxTick()->GetLabel(), "4");
    EXPECT_STREQ(y().GetMinTick()->GetLabel(), "-4");

    // Without the end tick at the maximum, 4 is not reached.
    y().SetEndTicks(0, 1);
    plot.Build(&data);
    EXPECT_EQ(values(y()), (std::vector<double>{0, 1, 2, 3, -1, -2, -3, -4}));

    // Grid lines on ticks 1, 3, 5, 7 of the ticks there are.
    EXPECT_EQ(y().SetGridEvery(2), 1);
    for (int i = 1; i <= y().GetTickCountUsed(); ++i)
        EXPECT_EQ(y().GetTick(i)->GetFirstSegment(), i % 2 == 1 ? 1 : 0) << i;
    EXPECT_EQ(y().SetTickLength(-1), 0);
    EXPECT_EQ(y().GetTickLength(), 0.0);
}

TEST_F(PlotFixture, DisabledAxesAndTinySeriesStepsMakeNoTicks) {
    data.AddPoint(0, 1);
    data.AddPoint(5, 3);
    y().Disable();
    EXPECT_EQ(y().Build(&data), 0);
    EXPECT_EQ(y().GetTickCountUsed(), 0);
    // A series-mode axis whose step is below 1 makes nothing.
    CChartAxis& z = *plot.GetAxis(5);
    z.Enable();
    z.SetLabelMode(1);
    z.SetTickCount(10); // series modes span 0: the step is 0
    EXPECT_EQ(z.Build(&data), 0);
    EXPECT_EQ(z.GetTickCountUsed(), 0);
}

TEST_F(PlotFixture, TicksStandAlongTheBoxAtTheirValue) {
    for (int i = 0; i <= 10; ++i) data.AddPoint(i, i * i);
    x().SetTickCount(5);
    data.Notify(1, 1, 1, 1, 1);
    // x from 0 to 10 over the box's x span: tick 2 (value 2) at a fifth.
    const double* box = x().GetBox();
    const double span = box[15];
    ASSERT_GT(span, 0.0);
    CChartTick* t = x().GetTick(2);
    EXPECT_STREQ(t->GetLabel(), "2");
    const double at = t->GetStart()->GetTransformedX() - plot.GetOriginX();
    EXPECT_NEAR(at, 0.2 * span, 1e-9);
}

TEST(ChartPlot, SettingsClampAndDimensionsRestoreTheView) {
    CChartAxesPlot p(1, 2);
    EXPECT_EQ(p.SetRotation(120, 10), 0);
    EXPECT_EQ(p.GetView()->GetElevation(), 90.0);
    EXPECT_EQ(p.GetView()->GetRotation(), 0.0);
    EXPECT_EQ(p.SetRotation(25, -35), 1);
    EXPECT_EQ(p.SetPerspective(150), 0);
    EXPECT_EQ(p.GetView()->GetPerspective(), 100.0);
    EXPECT_EQ(p.SetPerspective(40), 1);
    EXPECT_EQ(p.SetDimensionValue(3), 0);
    EXPECT_EQ(p.GetView()->GetElevation(), 25.0);
    EXPECT_EQ(p.SetDimensionValue(1), 1);
    EXPECT_EQ(p.GetView()->GetElevation(), 0.0);
    EXPECT_EQ(p.GetView()->GetPerspective(), 0.0);
    EXPECT_EQ(p.SetDimensionValue(2), 1);
    EXPECT_EQ(p.GetView()->GetElevation(), 25.0);
    EXPECT_EQ(p.GetView()->GetRotation(), -35.0);
    EXPECT_EQ(p.GetView()->GetPerspective(), 40.0);
    // Not fitted to a device yet: the screen pass waits.
    p.ToScreenPass();
    EXPECT_EQ(p.IsScreenDirty(), 1);
}

TEST(ChartPlot, ANarrowRangeKeepsScaleOneAndZeroDataStretchToTheOrigin) {
    CChartData data(nullptr, 3);
    CChartAxesPlot p(1, 1);
    data.SetPlot(&p);
    data.AddPoint(1, 5);
    data.AddPoint(1.0004, 5.0002);
    data.Notify(1, 1, 1, 1, 1);
    EXPECT_EQ(p.GetScale(0), 1.0);
    EXPECT_EQ(p.GetScale(1), 1.0);

    CChartData positive(nullptr, 3);
    CChartAxesPlot q(1, 1);
    positive.SetPlot(&q);
    positive.AddPoint(0, 3);
    positive.AddPoint(4, 9);
    positive.SetFixedYMin(0);
    positive.Notify(1, 1, 1, 1, 1);
    ASSERT_EQ(q.GetDataMin(1), 0.0);
    // The y bound starts at the origin, not at the smallest value 3.
    EXPECT_EQ(q.GetBoxMin(1), q.GetOriginY());
}

TEST(ChartPlot, PiesAreMadeRound) {
    CChartNoAxesPlot pie(5, 2);
    pie.GetView()->SetBoxSize(100, 20, 50);
    pie.TakeBoxSize();
    EXPECT_EQ(pie.GetView()->GetBoxSizeZ(), 100.0);
    EXPECT_EQ(pie.GetRef(CChartNoAxesPlot::right).GetWorldX(), pie.GetView()->GetBoxMaxX());
    const double sx = pie.GetScale(0);
    pie.ComputeScale();
    EXPECT_EQ(pie.GetScale(0), sx);
    EXPECT_EQ(pie.SetDimension(3), 0);
}

TEST(ChartLabelLayer, EachKindPlacesItsShareAndReplacesTheLast) {
    CChartData data(nullptr, 3);
    for (const char* n : {"Population", "Births", "Deaths"}) data.AddLegend(n, 10, 90, 0);
    data.GetAnnotation(1);
    data.GetAnnotation(2);
    CChartAxesPlot p(1, 1);
    CChartLegendLayer legend(&p);
    CChartLabelLayer both(&p);
    legend.PlaceLabels(&data);
    both.PlaceLabels(&data);
    EXPECT_EQ(legend.GetCount(), 3);
    EXPECT_EQ(both.GetCount(), 5);
    CChartAnnotationLayer notes(&p);
    notes.PlaceLabels(&data);
    EXPECT_EQ(notes.GetCount(), 2);
    legend.PlaceLabels(&data);
    EXPECT_EQ(legend.GetCount(), 3);
    EXPECT_STREQ(legend.GetTick(2)->GetLabel(), "Births");
    // Placed at its percent of the box's half size (100: the box's edge).
    EXPECT_NEAR(legend.GetTick(1)->GetEnd()->GetWorldY(), 0.45 * p.GetView()->GetBoxSizeY(), 1e-9);
    EXPECT_NEAR(legend.GetTick(1)->GetEnd()->GetWorldX(), 0.05 * p.GetView()->GetBoxSizeX(), 1e-9);
}

TEST(ChartPlot, ALinePlotFrameDrawsWallsGridAndLabels) {
    CChartData data(nullptr, 3);
    CChartAxesPlot plot(1, 2);
    data.SetPlot(&plot);
    for (int i = 0; i <= 20; ++i) data.AddPoint(i, 50 + 40 * std::sin(i / 3.0));
    plot.GetAxis(2)->SetTickCount(4);
    plot.GetAxis(3)->SetTickCount(5);
    data.Notify(1, 1, 1, 1, 1);
    Canvas c(400, 300);
    CChartDC dc(&c.cdc);
    plot.Draw(&dc);
    EXPECT_EQ(dc.PenDepth(), 0);
    EXPECT_EQ(dc.BrushDepth(), 0);
    EXPECT_EQ(dc.FontDepth(), 0);
    int grey = 0, dark = 0, black = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            const COLORREF px = c.at(x, y);
            grey += px == RGB(192, 192, 192);
            dark += px == RGB(128, 128, 128);
            black += px == RGB(0, 0, 0);
        }
    EXPECT_GT(grey, 5000); // the two walls
    EXPECT_GT(dark, 2000); // the floor
    EXPECT_GT(black, 200); // grid lines, tick marks and value labels
    if (const char* out = std::getenv("KAVREL_CHART_PNG")) {
        QImage img(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const COLORREF px = c.at(x, y);
                img.setPixel(x, y, qRgb(GetRValue(px), GetGValue(px), GetBValue(px)));
            }
        img.save(out);
    }
}

} // namespace
