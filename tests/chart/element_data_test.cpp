// The element base (styles owned or shared, balanced selection) and the data
// model (data sets, palette, placeholders, ranges and the passes it asks for).
#include "chart/data.h"
#include "chart/element.h"
#include "chart/plot.h"
#include "chart_fixture.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using charttest::Canvas;

namespace {

struct CountingElement : CChartElement {
    int views = 0;
    void SetView(CChartView3D* v) override {
        ++views;
        CChartElement::SetView(v);
    }
};

TEST(ChartElement, StylesAreMadeOnceAndSharedOnesSurvive) {
    CountingElement e;
    CChartStyle* s = e.GetStyle();
    EXPECT_EQ(e.GetStyle(), s);
    EXPECT_TRUE(e.OwnsStyle());
    // Setting the style it already owns keeps it alive and owned.
    e.SetStyle(s);
    EXPECT_EQ(e.GetStyle(), s);
    EXPECT_TRUE(e.OwnsStyle());
    s->SetPenWidth(3);
    EXPECT_EQ(e.GetStyle()->GetPenWidth(), 3);
    CChartStyle shared;
    e.SetStyle(&shared);
    EXPECT_FALSE(e.OwnsStyle());
    EXPECT_EQ(e.GetStyle(), &shared);
    e.SetStyle(nullptr);
    EXPECT_FALSE(e.HasStyle());
    // Dropping a style it made deletes it (the leak checker of sanitizer
    // builds finds it otherwise); a shared one is left alone.
    e.MakeStyle();
    e.MakeTextStyle();
    e.SetStyle(nullptr);
    e.SetTextStyle(nullptr);
    EXPECT_FALSE(e.HasStyle());
    CChartTextStyle shared_text;
    e.SetTextStyle(&shared_text);
    e.SetTextStyle(nullptr);
    shared_text.SetPointSize(9);
    EXPECT_EQ(shared_text.GetPointSize(), 9.0);

    EXPECT_EQ(e.ToScreen(nullptr), 1);
    EXPECT_EQ(e.ToScreen(nullptr), 1);
    EXPECT_EQ(e.views, 1);
}

TEST(ChartElement, SelectionStaysBalancedWhateverTheSwitches) {
    Canvas c(10, 10);
    CChartDC dc(&c.cdc);
    CChartElement e;
    e.SetHidden(1);
    e.SelectBrush(&dc);
    e.SelectPen(&dc);
    EXPECT_EQ(dc.BrushDepth() + dc.PenDepth(), 0);
    e.UnselectBrush(&dc);
    e.UnselectPen(&dc);

    // Switches changed between selecting and unselecting: exactly what was
    // pushed comes off, nothing of an outer owner's.
    dc.PushNewPen(CChartColor(1, 1, 1));
    e.SetHidden(0);
    e.SelectBrush(&dc);
    e.SelectPen(&dc);
    EXPECT_EQ(dc.BrushDepth(), 1);
    EXPECT_EQ(dc.PenDepth(), 2);
    e.SetHidden(1);
    e.UnselectBrush(&dc);
    e.UnselectPen(&dc);
    EXPECT_EQ(dc.BrushDepth(), 0);
    EXPECT_EQ(dc.PenDepth(), 1);
    e.SetHidden(0);
    e.SetNoOutline(1);
    e.UnselectPen(&dc); // nothing pushed: the outer pen stays
    EXPECT_EQ(dc.PenDepth(), 1);
    delete dc.PopPen();
}

TEST(ChartElement, UnstyledBrushIsWhiteAndStyledOneTheFill) {
    Canvas c(10, 10);
    CChartDC dc(&c.cdc);
    CChartElement e;
    e.SelectBrush(&dc);
    dc.DrawRectangle(CChartRect(0, 0, 5, 5));
    e.UnselectBrush(&dc);
    EXPECT_EQ(c.at(2, 2), RGB(255, 255, 255));
    e.GetStyle()->SetFillColor(CChartColor(0, 0, 255));
    e.SelectBrush(&dc);
    dc.DrawRectangle(CChartRect(0, 0, 5, 5));
    e.UnselectBrush(&dc);
    EXPECT_EQ(c.at(2, 2), RGB(0, 0, 255));
}

// The switches hold at selection: an element without an outline pushes no
// pen, one without a fill no brush, and unselecting twice takes off only
// what was pushed once (the outer owner's pen and brush stay).
TEST(ChartElement, OffSwitchesPushNothingAndUnselectingTwiceTakesOneOff) {
    Canvas c(10, 10);
    CChartDC dc(&c.cdc);
    CChartElement e;
    e.SetNoOutline(1);
    e.SelectPen(&dc);
    EXPECT_EQ(dc.PenDepth(), 0);
    e.SetNoOutline(0);
    e.SetNoFill(1);
    e.SelectBrush(&dc);
    EXPECT_EQ(dc.BrushDepth(), 0);
    e.SetNoFill(0);

    dc.PushNewBrush(CChartColor(1, 2, 3));
    dc.PushNewPen(CChartColor(1, 2, 3));
    e.SelectBrush(&dc);
    e.SelectPen(&dc);
    EXPECT_EQ(dc.BrushDepth(), 2);
    EXPECT_EQ(dc.PenDepth(), 2);
    e.UnselectBrush(&dc);
    e.UnselectBrush(&dc);
    e.UnselectPen(&dc);
    e.UnselectPen(&dc);
    EXPECT_EQ(dc.BrushDepth(), 1);
    EXPECT_EQ(dc.PenDepth(), 1);
    delete dc.PopBrush();
    delete dc.PopPen();
}

// Without a style the outline is a solid black line one pixel wide: every
// pixel of a horizontal run is inked, none beside it.
TEST(ChartElement, UnstyledPenIsSolidBlackOnePixel) {
    Canvas c(40, 10);
    CChartDC dc(&c.cdc);
    CChartElement e;
    e.SelectPen(&dc);
    const CChartPoint run[2] = {CChartPoint(2, 5), CChartPoint(32, 5)};
    dc.DrawPolyline(run, 2);
    e.UnselectPen(&dc);
    for (int x = 2; x < 32; ++x) ASSERT_EQ(c.at(x, 5), RGB(0, 0, 0)) << "x " << x;
    EXPECT_EQ(c.at(10, 4), RGB(255, 255, 255));
    EXPECT_EQ(c.at(10, 6), RGB(255, 255, 255));
}

TEST(ChartData, DataSetsPaletteAndPlaceholders) {
    CChartData d(nullptr, 1);
    EXPECT_EQ(d.PaletteColour(17), d.PaletteColour(1));
    EXPECT_EQ(d.PaletteColour(0), CChartColor(0, 0, 0));
    EXPECT_EQ(d.PaletteColour(10), CChartColor(255, 128, 0));
    EXPECT_EQ(d.SelectDataSet(0), d.SelectDataSet(1));
    EXPECT_EQ(d.SelectDataSet(-5), d.GetDataSet(1));
    EXPECT_EQ(d.SelectDataSet(3)->GetStyle()->GetFillColor(), CChartColor(0, 0, 255));
    EXPECT_EQ(d.GetHighestSet(), 3);
    EXPECT_EQ(d.GetLowestSet(), 1);

    CChartSeries* third = d.GetLegend(3);
    EXPECT_EQ(d.GetLegendCount(), 3);
    for (int i = 1; i <= 3; ++i) EXPECT_STREQ(d.GetLegend(i)->GetName(), "Un-assigned Legend!");
    EXPECT_EQ(third->GetStyle()->GetFillColor(), d.PaletteColour(3));
    EXPECT_STREQ(d.GetAnnotation(1)->GetName(), "Un-assigned Annotation!");
    EXPECT_EQ(d.GetAnnotation(1)->GetStyle()->GetFillColor(), CChartColor(0, 0, 0));

    // Huge numbers from callers are capped, not allocated.
    d.SelectDataSet(2000000000);
    EXPECT_EQ(d.GetHighestSet(), CChartData::kMaxSets);
    d.GetLegend(2000000000);
    EXPECT_EQ(d.GetLegendCount(), CChartData::kMaxItems);
}

TEST(ChartData, ClearKeepsLegendsAndTitles) {
    CChartData d(nullptr, 1);
    d.SelectDataSet(2);
    d.AddPoint(1, 2);
    d.AddLegend("first", -117, 3, 4);
    d.GetTitle(4)->GetTextStyle()->SetText("named");
    d.Clear();
    EXPECT_EQ(d.GetHighestSet(), 1);
    EXPECT_EQ(d.GetCurrentSet(), 1);
    EXPECT_FALSE(d.GetDataSet(1)->HasPoints());
    EXPECT_EQ(d.GetDataSet(2), nullptr);
    EXPECT_EQ(d.GetLegendCount(), 1);
    EXPECT_STREQ(d.GetLegend(1)->GetName(), "first");
    EXPECT_EQ(d.GetLegend(1)->GetCount(), 3);
    EXPECT_STREQ(d.GetTitle(4)->GetTextStyle()->GetText(), "named");
    EXPECT_STREQ(d.GetDomain()->GetName(), "Domain");
    EXPECT_TRUE(d.IsChanged());
}

TEST(ChartData, ZeroIsDrawnInOnlyWhenTheDataLieNearIt) {
    CChartData near(nullptr, 1), far(nullptr, 1);
    for (double y : {10.0, 11.0, 12.0}) far.AddPoint(y, y);
    for (double y : {1.0, 6.0, 12.0}) near.AddPoint(y, y);
    EXPECT_EQ(far.GetYMin(), 10.0);
    EXPECT_EQ(near.GetYMin(), 0.0);
    // Negative data: the maximum comes up to zero the same way.
    CChartData neg(nullptr, 1);
    for (double y : {-1.0, -12.0}) neg.AddPoint(0, y);
    EXPECT_EQ(neg.GetYMax(), 0.0);
    // A fixed range wins where it is wider; a zero factor never forces zero in.
    far.SetFixedYMax(20);
    far.SetFixedYMin(11);
    EXPECT_EQ(far.GetYMax(), 20.0);
    EXPECT_EQ(far.GetYMin(), 10.0);
    near.SetZeroFactor(0.0);
    EXPECT_EQ(near.GetYMin(), 1.0);
}

TEST(ChartData, XBoundsByXMode) {
    CChartData byIndex1(nullptr, 1), byIndex2(nullptr, 2);
    EXPECT_EQ(byIndex1.GetXMin(), 1.0);
    EXPECT_EQ(byIndex2.GetXMin(), 0.0);
    EXPECT_EQ(byIndex1.GetXStep(), 1.0);
    CChartData own(nullptr, 1);
    own.SelectDataSet(2);
    own.AddPoint(5, 1);
    own.AddPoint(9, 1);
    own.SelectDataSet(3);
    own.AddPoint(-2, 1);
    EXPECT_EQ(own.GetXMode(), 3);
    // Set 1 has no points and does not pull the minimum to 0.
    EXPECT_EQ(own.GetXMin(), -2.0);
    EXPECT_EQ(own.GetXMax(), 9.0);
    own.SetFixedXMax(20);
    EXPECT_EQ(own.GetXMax(), 20.0);
    EXPECT_EQ(own.GetZMax(), 3.0);
    EXPECT_EQ(own.GetZMin(), 2.0);
}

TEST(ChartData, StackSumsPerPointIndex) {
    CChartData d(nullptr, 1);
    int n = 1;
    for (double y : {2.0, -1.0, 3.0}) {
        d.SelectDataSet(n++);
        d.AddPoint(1, y);
        d.AddPoint(2, 1);
    }
    EXPECT_EQ(d.GetStackMax(), 5.0);
    EXPECT_EQ(d.GetStackMin(), -1.0);
    EXPECT_EQ(d.GetStackSpan(), 6.0);
}

TEST(ChartSeries, EmptyReadsAndStepsOfAwkwardX) {
    CChartSeries s;
    EXPECT_EQ(s.GetPoint(1)->GetY(), 0.0);
    EXPECT_EQ(s.GetCount(), 0);
    EXPECT_EQ(s.GetXStep(), 1.0);
    s.AddPoint(3, 1, 0);
    s.AddPoint(3, 2, 0);
    EXPECT_EQ(s.GetXStep(), 1.0); // repeated x, no span
    s.AddPoint(1, 3, 0);
    s.AddPoint(1.5, 4, 0);
    EXPECT_EQ(s.GetXStep(), 0.5); // smallest positive spacing of unsorted x
    EXPECT_EQ(s.GetPoint(99)->GetY(), 4.0);
    EXPECT_EQ(s.GetPoint(-1)->GetY(), 1.0);
    EXPECT_EQ(s.GetAbsYSum(), 10.0);
    CChartSeries t;
    t.AddPoint(4, 0, 0);
    t.AddPoint(2, 0, 0);
    EXPECT_EQ(t.GetXStep(), 2.0); // only a backward step: the span
}

TEST(ChartData, NonFiniteValuesAreRefused) {
    CChartData d(nullptr, 1);
    d.AddPoint(1, 5);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(d.AddPoint(std::nan(""), 1), nullptr);
    EXPECT_EQ(d.AddPoint(2, inf), nullptr);
    EXPECT_EQ(d.AddPoint(-inf, 3), nullptr);
    EXPECT_EQ(d.GetDataSet(1)->GetCount(), 1);
    EXPECT_EQ(d.GetYMax(), 5.0);
    EXPECT_EQ(d.GetXMax(), 1.0);
}

struct RecordingPlot : CChartPlot {
    std::vector<std::string> calls;
    void Build(CChartData*) override { calls.push_back("build"); }
    void Rebuild() override { calls.push_back("rebuild"); }
    void ProjectPass() override { calls.push_back("project"); }
    void ToScreenPass() override { calls.push_back("screen"); }
    void SetViewPass() override { calls.push_back("view"); }
};

TEST(ChartData, NotifyRunsThePassesAChangeNeeds) {
    CChartData d(nullptr, 1);
    d.Notify(1, 1, 1, 1, 1); // no plot yet: nothing to tell
    RecordingPlot p;
    d.SetPlot(&p);
    d.AddPoint(1, 1);
    d.Notify(0, 0, 0, 0, 0);
    using V = std::vector<std::string>;
    EXPECT_EQ(p.calls, (V{"build", "rebuild", "project", "screen", "view"}));
    EXPECT_FALSE(d.IsChanged());
    p.calls.clear();
    d.Notify(0, 0, 0, 0, 0);
    EXPECT_TRUE(p.calls.empty());
    d.Notify(0, 1, 0, 1, 0);
    EXPECT_EQ(p.calls, (V{"rebuild", "screen"}));
    p.calls.clear();
    d.Notify(0, 0, 1, 0, 1);
    EXPECT_EQ(p.calls, (V{"project", "view"}));
}

// The step of a series is its smallest forward spacing: bars of points 0, 1,
// 1.25 and 3 are a quarter wide, or the bars at 1 and 1.25 would overlap.
TEST(ChartSeries, TheStepIsTheSmallestOfSeveralSpacings) {
    CChartSeries s;
    for (double x : {0.0, 1.0, 1.25, 3.0}) s.AddPoint(x, 1, 0);
    EXPECT_EQ(s.GetXStep(), 0.25);
    CChartSeries t;
    for (double x : {10.0, 4.0, 6.0, 7.0}) t.AddPoint(x, -2, 0);
    EXPECT_EQ(t.GetXStep(), 1.0) << "backward steps are not spacings";
    EXPECT_EQ(t.GetAbsYSum(), 8.0) << "negative values count by their size";
}

// A new palette recolours the data sets only when asked; the colours it
// gives are the new ones either way.
TEST(ChartData, ANewPaletteRecoloursTheSetsOnlyWhenAsked) {
    CChartData d(nullptr, 1);
    d.SelectDataSet(2);
    CChartColor mine[16];
    for (int i = 0; i < 16; ++i) mine[i] = CChartColor(i, 100 + i, 200);
    d.SetPalette(mine, 0);
    EXPECT_EQ(d.PaletteColour(1), CChartColor(0, 100, 200));
    EXPECT_EQ(d.PaletteColour(16), CChartColor(15, 115, 200));
    EXPECT_EQ(d.GetDataSet(1)->GetStyle()->GetFillColor(), CChartColor(255, 0, 0))
        << "kept: the first of the standard palette";
    EXPECT_EQ(d.GetDataSet(2)->GetStyle()->GetFillColor(), CChartColor(0, 255, 0));
    d.SetPalette(mine, 1);
    EXPECT_EQ(d.GetDataSet(1)->GetStyle()->GetFillColor(), CChartColor(0, 100, 200));
    EXPECT_EQ(d.GetDataSet(2)->GetStyle()->GetFillColor(), CChartColor(1, 101, 200));
}

} // namespace
