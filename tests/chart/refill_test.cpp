// A chart refilled and drawn again (as a graph follows a run) looks exactly
// like a chart made afresh with the new data: the passes the drawing skips
// when their inputs are unchanged must never leave stale points behind.
#include "chart/chart.h"
#include "chart/data.h"
#include "chart_fixture.h"

#include <cmath>

namespace {

void fill(CChartCtrl& c, double phase, int points) {
    for (int s = 1; s <= 3; ++s)
        for (int i = 0; i < points; ++i)
            c.AddPoint(s, i, s * 10 + 6 * std::sin(i * 0.05 * s + phase));
}

void make(CChartCtrl& c, int type, int dim, double phase, int points) {
    c.CreateChart(type, dim, 3);
    fill(c, phase, points);
    c.SetAxis(2, 8, 1, 5.0, 0);
    c.SetAxis(4, 6, 1, 5.0, 0);
}

int differences(const charttest::Canvas& a, const charttest::Canvas& b, int w, int h) {
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) n += a.at(x, y) != b.at(x, y);
    return n;
}

TEST(ChartRefill, ARefilledChartDrawsAsAFreshOne) {
    // Line, points and area charts, flat and in depth.
    const int kinds[][2] = {{4, 1}, {6, 1}, {1, 1}, {4, 2}};
    for (const auto& k : kinds) {
        CChartCtrl live;
        make(live, k[0], k[1], 0.0, 300);
        charttest::Canvas first(400, 300);
        live.OnDraw(&first.cdc);
        // New data, other bounds: same device size.
        live.ClearData(0);
        fill(live, 1.3, 420);
        live.AddPoint(2, 100, 60);
        charttest::Canvas again(400, 300);
        live.OnDraw(&again.cdc);

        CChartCtrl fresh;
        make(fresh, k[0], k[1], 1.3, 420);
        fresh.AddPoint(2, 100, 60);
        charttest::Canvas want(400, 300);
        fresh.OnDraw(&want.cdc);
        EXPECT_EQ(differences(again, want, 400, 300), 0) << k[0] << "/" << k[1];
        EXPECT_GT(differences(first, want, 400, 300), 100) << k[0] << "/" << k[1];

        // Refilled and drawn on a device of another size: refitted.
        live.ClearData(0);
        fill(live, 2.1, 200);
        charttest::Canvas other(520, 260);
        live.OnDraw(&other.cdc);
        CChartCtrl fresh2;
        make(fresh2, k[0], k[1], 2.1, 200);
        charttest::Canvas want2(520, 260);
        fresh2.OnDraw(&want2.cdc);
        EXPECT_EQ(differences(other, want2, 520, 260), 0) << k[0] << "/" << k[1];
    }
}

} // namespace
