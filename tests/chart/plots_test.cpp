// The plots' builds (where each data set's line, area, bar, box or slice
// lies), the factory and the control's calls, and charts drawn through the
// control in a window: a line chart's colours and a 3D bar chart's boxes.
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/data.h"
#include "chart/plots.h"
#include "chart/ribbon.h"
#include "chart/solid.h"
#include "chart/view3d.h"
#include "chart_fixture.h"
#include "tests/driver/driver.h"

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <typeinfo>

namespace {

template <class T> T* element(CChartPlot& p, int list, int i) {
    return dynamic_cast<T*>(p.GetListElement(list, i));
}

// Points straight into a set, keeping the data model's x placement.
void add(CChartData& d, int set, std::initializer_list<double> ys) {
    CChartSeries* s = d.SelectDataSet(set);
    double x = 1;
    for (double y : ys) s->AddPoint(x++, y, set);
}

TEST(ChartFactory, PicksThePlotByTypeAndDimension) {
    // The dynamic type of the plot a new chart of the given type and dimension makes.
    auto plot_type = [](int type, int dimension) -> const std::type_info& {
        CChart made(type, dimension, 3);
        const auto* plot = made.GetPlot();
        return typeid(*plot);
    };
    EXPECT_EQ(plot_type(5, 3), typeid(CChartPlot2D6));
    EXPECT_EQ(plot_type(9, 1), typeid(CChartPlot9));
    EXPECT_EQ(plot_type(9, 2), typeid(CChartPlot9));
    EXPECT_EQ(plot_type(7, 1), typeid(CChartPlot2D7));
    EXPECT_EQ(plot_type(1, 2), typeid(CChartPlot3D1));
    CChart c(4, 2, 3);
    EXPECT_EQ(c.GetPlot()->GetDimension(), 2);
    EXPECT_EQ(c.GetAxis(3), c.GetPlot()->GetAxis(4));
    EXPECT_EQ(c.GetAxis(4), c.GetPlot()->GetAxis(3));
    EXPECT_EQ(c.GetAxis(0), c.GetPlot()->GetAxis(2));
    EXPECT_EQ(c.SetPlot(8, 1, 1), 1);
    EXPECT_EQ(c.GetData()->GetPlot(), c.GetPlot());
}

TEST(ChartCtrl, CallsReachTheAxesAndTheData) {
    CChartCtrl ctrl;
    ctrl.CreateChart(4, 1, 3);
    CChartAxis* a = ctrl.SetAxis(2, -3, 1, 5.0, 2);
    ASSERT_EQ(a, ctrl.GetChart()->GetPlot()->GetAxis(2));
    EXPECT_EQ(a->GetTickCount(), 0);
    EXPECT_DOUBLE_EQ(a->GetTickLength(), 0.05);
    ctrl.SetAxisTitle("Time", 3);
    EXPECT_STREQ(ctrl.GetData()->GetAxisTitle(1)->GetName(), "Time");
    ctrl.AddPoint(2, 0, 1);
    ctrl.AddPoint(2, 1, 3);
    EXPECT_EQ(ctrl.GetData()->GetDataSet(2)->GetCount(), 2);
    EXPECT_EQ(ctrl.SetYRange(0, 10), 1);
    EXPECT_EQ(ctrl.GetData()->GetYMax(), 10.0);
}

TEST(ChartPlots, LinesAndPointsFollowTheXPlacement) {
    for (int mode : {1, 2}) {
        CChartData d(nullptr, mode);
        CChartPlot2D4 line;
        d.SetPlot(&line);
        add(d, 1, {5, 6, 7});
        add(d, 2, {});
        add(d, 3, {4});
        line.Build(&d);
        // Sets 1 and 3 have points; set 2 makes nothing.
        auto* first = element<CChartPolyline>(line, 3, 1);
        auto* third = element<CChartPolyline>(line, 3, 2);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(third, nullptr);
        EXPECT_EQ(line.GetListCount(3), 2);
        EXPECT_EQ(first->GetVertex(1)->GetWorldX(), mode == 1 ? 1.0 : 0.0);
        EXPECT_EQ(third->GetCount(), 1);
        EXPECT_EQ(third->GetVertex(1)->GetWorldZ(), 2.0); // set 3 at depth s - 1
    }
}

TEST(ChartPlots, AreaRibbonMeetsTheZeroLineWhereValuesCrossIt) {
    CChartData d(nullptr, 3);
    CChartPlot3D1 area;
    d.SetPlot(&area);
    CChartSeries* s = d.SelectDataSet(1);
    s->AddPoint(0, 2, 1);
    s->AddPoint(1, -2, 1);
    area.Build(&d);
    auto* r = element<CChartRibbon>(area, 3, 1);
    ASSERT_NE(r, nullptr);
    // Start wall, value segment, zero-line part, end wall, front face.
    ASSERT_EQ(r->GetCount(), 5);
    CChartFace* zero = r->GetPart(3);
    EXPECT_DOUBLE_EQ(zero->GetWorldMinX(), 0.5);
    EXPECT_DOUBLE_EQ(zero->GetWorldMaxX(), 1.0);
    EXPECT_EQ(zero->GetWorldMaxY(), 0.0);
    // All negative: a zero-line part beside every value segment; all
    // positive: none.
    CChartData neg(nullptr, 3), pos(nullptr, 3);
    CChartPlot3D1 a2, a3;
    neg.SetPlot(&a2);
    pos.SetPlot(&a3);
    for (int i = 0; i < 4; ++i) {
        neg.SelectDataSet(1)->AddPoint(i, -1 - i, 1);
        pos.SelectDataSet(1)->AddPoint(i, 1 + i, 1);
    }
    a2.Build(&neg);
    a3.Build(&pos);
    EXPECT_EQ(element<CChartRibbon>(a2, 3, 1)->GetCount(), 2 + 3 * 2 + 1);
    EXPECT_EQ(element<CChartRibbon>(a3, 3, 1)->GetCount(), 2 + 3 + 1);
}

TEST(ChartPlots, GroupedBarsShareTheirPitchAndStacksPileUp) {
    CChartData d(nullptr, 2);
    CChartPlot2D3 bars;
    d.SetPlot(&bars);
    add(d, 1, {1});
    add(d, 2, {2});
    add(d, 3, {3});
    bars.Build(&d);
    ASSERT_EQ(bars.GetListCount(3), 3);
    for (int k = 0; k < 3; ++k) {
        auto* b = element<CChartPolygon>(bars, 3, k + 1);
        const double centre = (b->GetWorldMinX() + b->GetWorldMaxX()) / 2;
        EXPECT_NEAR(centre, (2 * k + 1) / 6.0, 1e-12);
        EXPECT_NEAR(b->GetWorldMaxX() - b->GetWorldMinX(), 1 / 3.0, 1e-12);
    }

    CChartData s(nullptr, 1);
    CChartPlot2D8 stacked;
    s.SetPlot(&stacked);
    add(s, 1, {2});
    add(s, 2, {-1});
    add(s, 3, {3});
    stacked.Build(&s);
    ASSERT_EQ(stacked.GetListCount(3), 3);
    const double expect[3][2] = {{0, 2}, {-1, 0}, {2, 5}};
    for (int k = 0; k < 3; ++k) {
        auto* b = element<CChartPolygon>(stacked, 3, k + 1);
        EXPECT_EQ(b->GetWorldMinY(), expect[k][0]);
        EXPECT_EQ(b->GetWorldMaxY(), expect[k][1]);
    }
    // Mode 1: an invisible point one step beyond the last bar.
    bool beyond = false;
    for (int i = 1; i <= stacked.GetListCount(2); ++i)
        if (auto* v = element<CChartVertex>(stacked, 2, i)) beyond |= v->GetWorldX() == 2.0;
    EXPECT_TRUE(beyond);

    // A negative value in a 3D bar makes a box from the value up to 0.
    CChartData n(nullptr, 1);
    CChartPlot3D3 boxes;
    n.SetPlot(&boxes);
    add(n, 1, {-4});
    boxes.Build(&n);
    auto* g = element<CChartSolidGroup>(boxes, 3, 1);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetSolid(1)->GetWorldMinY(), -4.0);
    EXPECT_EQ(g->GetSolid(1)->GetWorldMaxY(), 0.0);
}

TEST(ChartPlots, SliceBoundariesTurnWithTheSetsShares) {
    CChartData d(nullptr, 1);
    CChartPlot2D5 pie;
    d.SetPlot(&pie);
    add(d, 1, {1});
    add(d, 2, {-1}); // counts by its absolute value
    add(d, 3, {0.5, 1.5});
    pie.Build(&d);
    ASSERT_EQ(pie.GetListCount(2), 3);
    const double quarter[3] = {90, 180, 360};
    for (int k = 1; k <= 3; ++k) {
        CChartVertex* b = pie.GetBoundary(k);
        double deg = std::atan2(-b->GetWorldZ(), b->GetWorldX()) * 180 / std::numbers::pi;
        if (deg <= 0.01) deg += 360;
        EXPECT_NEAR(deg, quarter[k - 1], 1e-4) << k;
    }
    CChartData zero(nullptr, 1);
    CChartPlot2D5 flat;
    zero.SetPlot(&flat);
    add(zero, 1, {0});
    add(zero, 2, {0});
    flat.Build(&zero);
    EXPECT_EQ(flat.GetBoundary(2)->GetWorldZ(), -0.0);
    EXPECT_GT(flat.GetBoundary(2)->GetWorldX(), 0.0);

    // The round-solid pie needs three sets for its solids.
    CChartData two(nullptr, 1);
    CChartPlot9 p9;
    two.SetPlot(&p9);
    add(two, 1, {1});
    add(two, 2, {1});
    p9.Build(&two);
    EXPECT_EQ(p9.GetListCount(3), 0);
    add(two, 3, {2});
    p9.Build(&two);
    ASSERT_EQ(p9.GetListCount(3), 1);
    EXPECT_EQ(element<CChartSolidGroup>(p9, 3, 1)->GetCount(), 3);
}

// A chart control in a top-level window of the test driver.
struct Shown {
    CChartCtrl ctrl;
    HWND hwnd = nullptr;
    Shown(int type, int dim) {
        test_driver::start();
        ctrl.CreateChart(type, dim, 3);
        RECT r{0, 0, 420, 320};
        ctrl.Create(WS_VISIBLE, r, static_cast<HWND>(nullptr), 101);
        hwnd = ctrl.m_hWnd;
    }
    QImage shot(const char* name) {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
        QImage img = test_driver::image(hwnd);
        if (const char* dir = std::getenv("KAVREL_CHART_PNG_DIR"))
            img.save(QString(dir) + "/" + name + ".png");
        return img;
    }
};

int count_colour(const QImage& img, QRgb c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
    return n;
}

TEST(ChartCtrl, ALineChartDrawsEachSeriesInItsColour) {
    Shown s(4, 1);
    for (int i = 0; i <= 40; ++i) {
        s.ctrl.AddPoint(1, i, 50 + 30 * std::sin(i / 6.0));
        s.ctrl.AddPoint(2, i, 20 + i);
    }
    s.ctrl.GetSeriesStyle(1)->SetFillColor(CChartColor(220, 0, 0));
    s.ctrl.GetSeriesStyle(2)->SetFillColor(CChartColor(0, 0, 220));
    s.ctrl.SetAxis(2, 4, 1, 5.0, 0);
    s.ctrl.SetAxis(4, 5, 1, 5.0, 0);
    QImage img = s.shot("line2d");
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(count_colour(img, qRgb(220, 0, 0)), 150);
    EXPECT_GT(count_colour(img, qRgb(0, 0, 220)), 150);
    // The flat chart has its walls behind: grey fills the box.
    EXPECT_GT(count_colour(img, qRgb(192, 192, 192)), 10000);
}

TEST(ChartCtrl, A3DBarChartShowsItsBoxes) {
    Shown s(3, 2);
    for (int i = 1; i <= 6; ++i) {
        s.ctrl.AddPoint(1, i, i);
        s.ctrl.AddPoint(2, i, 7 - i);
    }
    s.ctrl.GetSeriesStyle(1)->SetFillColor(CChartColor(0, 170, 0));
    s.ctrl.GetSeriesStyle(2)->SetFillColor(CChartColor(200, 120, 0));
    QImage img = s.shot("bar3d");
    EXPECT_GT(count_colour(img, qRgb(0, 170, 0)), 300);
    EXPECT_GT(count_colour(img, qRgb(200, 120, 0)), 300);
}

TEST(ChartCtrl, APieOfRoundSolidsFillsItsSlices) {
    Shown s(9, 2);
    const QRgb colours[3] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 200)};
    for (int k = 1; k <= 3; ++k) {
        s.ctrl.AddPoint(k, 1, k);
        const QColor c(colours[k - 1]);
        s.ctrl.GetSeriesStyle(k)->SetFillColor(CChartColor(c.red(), c.green(), c.blue()));
    }
    QImage img = s.shot("pie9");
    for (QRgb c : colours) EXPECT_GT(count_colour(img, c), 200);
}

} // namespace

namespace {

// Counts how often the plot draws it.
struct DrawCounter : CChartElement {
    int* draws;
    explicit DrawCounter(int* n) : draws(n) {}
    void Draw(CChartDC*) override { ++*draws; }
    void DrawBody(CChartDC*) override { ++*draws; }
};

TEST(ChartPlots, EveryPlotDrawsItsElementsOnceInEitherDimension) {
    for (int dim : {1, 2}) {
        int draws = 0;
        CChartData d(nullptr, 3);
        CChartPlot2D4 flat;
        CChartPlot3D4 deep;
        CChartPlot& p = dim == 1 ? static_cast<CChartPlot&>(flat) : deep;
        d.SetPlot(&p);
        d.AddPoint(0, 1);
        d.AddPoint(1, 2);
        d.Notify(1, 1, 1, 1, 1);
        p.AddToList3(new DrawCounter(&draws));
        charttest::Canvas c(200, 150);
        CChartDC dc(&c.cdc);
        p.Draw(&dc);
        EXPECT_EQ(draws, 1) << dim;
    }
}

TEST(ChartPlots, AreaCrossingAtTheFallbackSlopeStaysInItsStep) {
    CChartData d(nullptr, 3);
    CChartPlot3D1 area;
    d.SetPlot(&area);
    CChartSeries* s = d.SelectDataSet(1);
    s->AddPoint(0, 2, 1);
    s->AddPoint(0.0005, -2, 1);
    area.Build(&d);
    CChartFace* zero = element<CChartRibbon>(area, 3, 1)->GetPart(3);
    EXPECT_GE(zero->GetWorldMinX(), 0.0);
    EXPECT_LE(zero->GetWorldMaxX(), 0.0005);
}

TEST(ChartCtrl, CallsBeforeAChartExistsDoNothing) {
    CChartCtrl ctrl;
    EXPECT_EQ(ctrl.GetData(), nullptr);
    EXPECT_EQ(ctrl.AddPoint(1, 0, 0), nullptr);
    EXPECT_EQ(ctrl.AddLegend("a", 0, 0, 0), nullptr);
    EXPECT_EQ(ctrl.SetAxis(2, 5, 1, 5.0, 0), nullptr);
    EXPECT_EQ(ctrl.SetAxisTitle("t", 1), nullptr);
    EXPECT_EQ(ctrl.GetSeriesStyle(1), nullptr);
    EXPECT_EQ(ctrl.GetTitleTextStyle(4), nullptr);
    EXPECT_EQ(ctrl.SetXRange(0, 1), 0);
    EXPECT_EQ(ctrl.SetYRange(0, 1), 0);
    EXPECT_EQ(ctrl.SetViewRect(1, 1, 1, 1), 0);
    ctrl.SetViewOption(1);
    ctrl.ClearData(1);
    ctrl.Refresh();
    // A second chart replaces the first (the sanitizer build sees a leak).
    ctrl.CreateChart(4, 1, 3);
    ctrl.AddPoint(1, 0, 1);
    ctrl.CreateChart(6, 1, 3);
    EXPECT_EQ(ctrl.GetData()->GetDataSet(1)->GetCount(), 0);
    // A huge data-set number is capped, not allocated.
    EXPECT_NE(ctrl.AddPoint(2000000000, 1, 1), nullptr);
    EXPECT_LE(ctrl.GetData()->GetHighestSet(), CChartData::kMaxSets);
}

TEST(ChartCtrl, AFlatPieSkipsEmptySlicesAndOneSetFillsTheWhole) {
    {
        Shown s(5, 1);
        const QRgb colours[3] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 200)};
        const double values[3] = {1, 0, 3};
        for (int k = 1; k <= 3; ++k) {
            s.ctrl.AddPoint(k, 1, values[k - 1]);
            const QColor c(colours[k - 1]);
            s.ctrl.GetSeriesStyle(k)->SetFillColor(CChartColor(c.red(), c.green(), c.blue()));
        }
        QImage img = s.shot("pie2d");
        const int red = count_colour(img, colours[0]), blue = count_colour(img, colours[2]);
        EXPECT_GT(red, 500);
        EXPECT_EQ(count_colour(img, colours[1]), 0); // the empty slice is not the whole ellipse
        EXPECT_NEAR(static_cast<double>(blue) / red, 3.0, 0.6);
    }
    {
        Shown s(5, 1);
        s.ctrl.AddPoint(1, 1, 5);
        s.ctrl.AddPoint(2, 1, 0);
        s.ctrl.GetSeriesStyle(1)->SetFillColor(CChartColor(200, 0, 0));
        s.ctrl.GetSeriesStyle(2)->SetFillColor(CChartColor(0, 0, 200));
        QImage img = s.shot("pie2d-one");
        EXPECT_GT(count_colour(img, qRgb(200, 0, 0)), 2000); // its slice is the whole turn
        EXPECT_EQ(count_colour(img, qRgb(0, 0, 200)), 0);
    }
}

} // namespace

namespace {

TEST(ChartCtrl, A3DRibbonChartPaintsTheNearerRibbonOverTheFarther) {
    Shown s(7, 2);
    const QRgb colours[3] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 200)};
    for (int k = 1; k <= 3; ++k) {
        for (int i = 0; i <= 20; ++i) s.ctrl.AddPoint(k, i, 10 + 5 * k + 4 * std::sin(i / 3.0 + k));
        const QColor c(colours[k - 1]);
        s.ctrl.GetSeriesStyle(k)->SetFillColor(CChartColor(c.red(), c.green(), c.blue()));
    }
    QImage img = s.shot("ribbon3d");
    for (QRgb c : colours) EXPECT_GT(count_colour(img, c), 200);
    // One ribbon per series, each in its own depth band.
    auto* plot = s.ctrl.GetChart()->GetPlot();
    ASSERT_EQ(plot->GetListCount(3), 3);
    auto* first = dynamic_cast<CChartRibbon*>(plot->GetListElement(3, 1));
    auto* third = dynamic_cast<CChartRibbon*>(plot->GetListElement(3, 3));
    ASSERT_TRUE(first && third);
    EXPECT_LT(first->GetWorldMaxZ(), third->GetWorldMinZ());
}

TEST(ChartCtrl, A3DAreaChartStandsOnTheZeroLine) {
    Shown s(1, 2);
    for (int i = 0; i <= 20; ++i) s.ctrl.AddPoint(1, i, 6 * std::sin(i / 3.0));
    s.ctrl.GetSeriesStyle(1)->SetFillColor(CChartColor(0, 120, 200));
    QImage img = s.shot("area3d");
    EXPECT_GT(count_colour(img, qRgb(0, 120, 200)), 500);
    // Values cross zero: the ribbon carries zero-line panels beside its
    // value panels, and its front face.
    auto* r = dynamic_cast<CChartRibbon*>(s.ctrl.GetChart()->GetPlot()->GetListElement(3, 1));
    ASSERT_NE(r, nullptr);
    int flat_at_zero = 0;
    for (int i = 1; i <= r->GetCount(); ++i) {
        CChartFace* f = r->GetPart(i);
        flat_at_zero += f->GetWorldMinY() == 0.0 && f->GetWorldMaxY() == 0.0;
    }
    EXPECT_GE(flat_at_zero, 6);
}

} // namespace

namespace {

TEST(ChartCtrl, A3DPieShowsItsSlicesOnTopAndItsNearWalls) {
    Shown s(5, 2);
    const QRgb colours[3] = {qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 200)};
    const double values[3] = {1, 1, 2};
    for (int k = 1; k <= 3; ++k) {
        s.ctrl.AddPoint(k, 1, values[k - 1]);
        const QColor c(colours[k - 1]);
        s.ctrl.GetSeriesStyle(k)->SetFillColor(CChartColor(c.red(), c.green(), c.blue()));
    }
    QImage img = s.shot("pie3d");
    const int red = count_colour(img, colours[0]), green = count_colour(img, colours[1]),
              blue = count_colour(img, colours[2]);
    EXPECT_GT(red, 2000);
    EXPECT_GT(green, 2000);
    // The last set is half the pie: the largest face, and the near wall.
    EXPECT_GT(blue, red + green / 2);
    // Straight below the top face's lowest point lies the near side: the
    // wall of the slice that faces the viewer, not white.
    auto* plot = dynamic_cast<CChartPlot3D5*>(s.ctrl.GetChart()->GetPlot());
    ASSERT_NE(plot, nullptr);
    const CChartPoint front = plot->GetRef(CChartNoAxesPlot::flat_front).GetScreenPoint();
    const CChartPoint back = plot->GetRef(CChartNoAxesPlot::flat_back).GetScreenPoint();
    const CChartPoint near_side = back.y > front.y ? back : front;
    const int x = near_side.x, y = near_side.y - 2;
    EXPECT_NE(img.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
}

TEST(ChartCtrl, A3DPieOfOneSetIsOneDiscInItsColour) {
    Shown s(5, 2);
    s.ctrl.AddPoint(1, 1, 4);
    s.ctrl.GetSeriesStyle(1)->SetFillColor(CChartColor(0, 120, 200));
    QImage img = s.shot("pie3d-one");
    // Top face and side band alike.
    EXPECT_GT(count_colour(img, qRgb(0, 120, 200)), 20000);
}

TEST(ChartPlot, BackWallsLieOnTheirSidesOfTheBox) {
    CChartPlot3D4 p;
    // Plane 1 the back wall (z at the box's minimum), plane 2 the left wall
    // (x at the minimum), plane 3 the floor (y at the minimum).
    double lo[3] = {1e300, 1e300, 1e300};
    for (int plane = 1; plane <= 3; ++plane)
        for (int j = 1; j <= p.GetPlane(plane).GetCount(); ++j) {
            const CChartVertex* c = p.GetPlane(plane).GetVertex(j);
            lo[0] = std::min(lo[0], c->GetWorldX());
            lo[1] = std::min(lo[1], c->GetWorldY());
            lo[2] = std::min(lo[2], c->GetWorldZ());
        }
    const int axis_of[3] = {2, 0, 1};
    for (int plane = 1; plane <= 3; ++plane) {
        CChartPolygon& poly = p.GetPlane(plane);
        ASSERT_EQ(poly.GetCount(), 4) << plane;
        for (int j = 1; j <= 4; ++j) {
            const CChartVertex* c = poly.GetVertex(j);
            const double w[3] = {c->GetWorldX(), c->GetWorldY(), c->GetWorldZ()};
            const int a = axis_of[plane - 1];
            EXPECT_DOUBLE_EQ(w[a], lo[a]) << plane << " " << j;
        }
    }
}

TEST(ChartPlot, AxesCountWhatTheirChartTypePlaces) {
    auto modes = [](int type, int dim) {
        CChart c(type, dim, 3);
        std::vector<int> m;
        for (int kind = 1; kind <= 7; ++kind)
            m.push_back(c.GetPlot()->GetAxis(kind)->GetLabelMode());
        return m;
    };
    EXPECT_EQ(modes(4, 2), (std::vector<int>{5, 5, 6, 6, 4, 4, 0}));
    EXPECT_EQ(modes(2, 2), (std::vector<int>{6, 6, 5, 5, 4, 4, 0}));
    EXPECT_EQ(modes(8, 1), (std::vector<int>{5, 5, 7, 7, 4, 4, 0}));
    EXPECT_EQ(modes(5, 2), (std::vector<int>{0, 0, 0, 0, 0, 0, 4}));
    EXPECT_EQ(modes(9, 2), (std::vector<int>{0, 0, 0, 0, 0, 0, 4}));
    // A pie's value axes make no ticks even when enabled.
    Shown s(5, 1);
    s.ctrl.AddPoint(1, 1, 2);
    s.ctrl.AddPoint(2, 1, 3);
    s.ctrl.SetAxis(2, 5, 1, 5.0, 0);
    s.shot("pie-axis");
    EXPECT_EQ(s.ctrl.GetChart()->GetPlot()->GetAxis(2)->GetTickCountUsed(), 0);
}

// Bars of several sets placed by point number stand side by side at one
// pitch, with one empty place between the groups of neighbouring points, and
// a point's group stays within its unit of the axis.
TEST(ChartPlots, BarGroupsByPointNumberKeepAnEmptyPlaceBetweenThem) {
    CChartData d(nullptr, 1);
    CChartPlot2D3 bars;
    d.SetPlot(&bars);
    add(d, 1, {1, 4});
    add(d, 2, {2, 5});
    add(d, 3, {3, 6});
    bars.Build(&d);
    ASSERT_EQ(bars.GetListCount(3), 6);
    std::vector<double> centres;
    for (int k = 1; k <= 6; ++k) {
        auto* b = element<CChartPolygon>(bars, 3, k);
        ASSERT_NE(b, nullptr);
        centres.push_back((b->GetWorldMinX() + b->GetWorldMaxX()) / 2);
        const double unit = b->GetWorldMaxY() <= 3 ? 1 : 2; // the first point's values are 1 to 3
        EXPECT_GT(b->GetWorldMinX(), unit - 0.5);
        EXPECT_LT(b->GetWorldMaxX(), unit + 0.5);
    }
    std::sort(centres.begin(), centres.end());
    const double pitch = centres[1] - centres[0];
    EXPECT_GT(pitch, 0.0);
    EXPECT_NEAR(centres[2] - centres[1], pitch, 1e-12);
    EXPECT_NEAR(centres[3] - centres[2], 2 * pitch, 1e-12) << "one empty place between groups";
    EXPECT_NEAR(centres[5] - centres[4], pitch, 1e-12);
}

// The depth of 3D bars leaves as much room behind the last set as in front
// of the first.
TEST(ChartPlots, ThreeDBarsHaveEvenRoomInFrontAndBehind) {
    CChartData d(nullptr, 2);
    CChartPlot3D3 boxes;
    d.SetPlot(&boxes);
    add(d, 1, {2, 3});
    add(d, 2, {4, 1});
    add(d, 3, {1, 1});
    boxes.Build(&d);
    double front = 1e300, back = -1e300;
    for (int i = 1; i <= boxes.GetListCount(3); ++i) {
        auto* g = element<CChartSolidGroup>(boxes, 3, i);
        ASSERT_NE(g, nullptr);
        front = std::min(front, g->GetWorldMinZ());
        back = std::max(back, g->GetWorldMaxZ());
    }
    ASSERT_LT(front, back);
    const double lo = boxes.GetDataMin(2), hi = boxes.GetDataMax(2);
    EXPECT_LE(lo, front);
    EXPECT_GE(hi, back);
    EXPECT_NEAR(front - lo, hi - back, 1e-9);
}

} // namespace
