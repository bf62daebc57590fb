// A 2D line chart of 16 series x 10,000 points drawn by the chart control at
// 1200 x 800: a repaint without data change, and a live refill (the data
// cleared, every point added again, then drawn), as a graph follows a run.
#include "chart/chart.h"
#include "chart/data.h"
#include "platform/gdi.h"
#include "tests/driver/headless.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

struct Image {
    HDC mem = nullptr;
    HBITMAP bm = nullptr;
    HGDIOBJ old = nullptr;
    CDC base;
    Image(int w, int h) {
        headless::start_gui("bench_chart_control");
        HDC screen = GetDC(nullptr);
        mem = CreateCompatibleDC(screen);
        bm = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(mem, bm);
        base.Attach(mem);
    }
    ~Image() {
        base.Detach();
        SelectObject(mem, old);
        DeleteObject(bm);
        DeleteDC(mem);
    }
};

constexpr int kSeries = 16;
constexpr int kPoints = 10000;

void fill(CChartCtrl& c) {
    for (int s = 1; s <= kSeries; ++s)
        for (int i = 0; i < kPoints; ++i) c.AddPoint(s, i, s * 10 + 5 * std::sin(i * 0.01 * s));
}

void make(CChartCtrl& c) {
    c.CreateChart(4, 1, 3);
    fill(c);
    c.SetAxis(2, 8, 1, 5.0, 0);
    c.SetAxis(4, 6, 1, 5.0, 0);
}

void BM_RepaintUnchanged(benchmark::State& state) {
    Image img(1200, 800);
    CChartCtrl c;
    make(c);
    c.OnDraw(&img.base); // the first paint builds and fits
    for (auto _ : state) c.OnDraw(&img.base);
}
BENCHMARK(BM_RepaintUnchanged)->Unit(benchmark::kMillisecond);

void BM_LiveRefill(benchmark::State& state) {
    Image img(1200, 800);
    CChartCtrl c;
    make(c);
    c.OnDraw(&img.base);
    for (auto _ : state) {
        c.ClearData(0);
        fill(c);
        c.OnDraw(&img.base);
    }
}
BENCHMARK(BM_LiveRefill)->Unit(benchmark::kMillisecond);

} // namespace
