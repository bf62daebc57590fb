// The chart's 3D geometry at 1200 x 800: ribbon charts (one ribbon of upright
// panels per series) and boxes in the default view, projected with the
// pairwise depth sort, mapped to the screen and drawn into an image; and the
// view transform of many points. The counters report the sort's passes.
#include "chart/ribbon.h"
#include "chart/view3d.h"
#include "platform/gdi.h"
#include "tests/driver/headless.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Image {
    HDC mem = nullptr;
    HBITMAP bm = nullptr;
    HGDIOBJ old = nullptr;
    CDC base;
    Image(int w, int h) {
        headless::start_gui("bench_chart_geometry");
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

struct Chart {
    std::vector<std::unique_ptr<CChartStyle>> styles;
    std::vector<std::unique_ptr<CChartRibbon>> ribbons;
    int faces = 0;

    void run(CChartView3D& view, CChartDC& dc, int& passes_max) {
        for (auto& r : ribbons) {
            r->Project(&view);
            r->ToScreen(&view);
            passes_max = std::max(passes_max, r->LastOverlapPasses());
        }
        for (auto& r : ribbons) r->Draw(&dc);
    }
};

CChartStyle* style_for(Chart& c, int i) {
    c.styles.push_back(std::make_unique<CChartStyle>());
    c.styles.back()->SetFillColor(CChartColor(40 * i % 256, 90 + 20 * i % 160, 200 - 10 * i % 200));
    return c.styles.back().get();
}

// `series` ribbons of `points` values each, in depth slices of the box.
Chart ribbon_chart(int series, int points) {
    Chart c;
    double dz = 100.0 / series;
    for (int s = 0; s < series; ++s) {
        auto r = std::make_unique<CChartRibbon>(style_for(c, s));
        r->SetFlagC(0);
        double z1 = -50 + s * dz, z2 = z1 + dz * 0.7;
        double prev_x = -50, prev_y = 0;
        for (int i = 1; i < points; ++i) {
            double x = -50 + 100.0 * i / (points - 1);
            double y = 40 * std::sin(i * 0.05 + s) * std::cos(i * 0.013);
            r->AddPanel(prev_x, x, prev_y, y, z1, z2);
            prev_x = x;
            prev_y = y;
            ++c.faces;
        }
        c.ribbons.push_back(std::move(r));
    }
    return c;
}

// `sets` rows of `positions` boxes, each row one ribbon with culling on.
Chart box_chart(int sets, int positions) {
    Chart c;
    double dz = 100.0 / sets, dx = 100.0 / positions;
    for (int s = 0; s < sets; ++s) {
        auto r = std::make_unique<CChartRibbon>(style_for(c, s));
        r->SetFlagC(1);
        for (int i = 0; i < positions; ++i) {
            double h = 10 + 30 * (1 + std::sin(i * 0.3 + s));
            double x1 = -50 + i * dx + dx * 0.15;
            r->AddBox(x1, x1 + dx * 0.7, -50, -50 + h, -50 + s * dz, -50 + s * dz + dz * 0.7);
            c.faces += 6;
        }
        c.ribbons.push_back(std::move(r));
    }
    return c;
}

void run_chart(benchmark::State& state, Chart c) {
    Image img(1200, 800);
    CChartDC dc(&img.base);
    CChartView3D view;
    view.FitToDC(&dc);
    int passes = 0;
    c.run(view, dc, passes); // the first pass maps the faces for the sort
    for (auto _ : state) {
        passes = 0;
        c.run(view, dc, passes);
    }
    state.counters["faces"] = c.faces;
    state.counters["sort_passes_max"] = passes;
}

void BM_RibbonChart(benchmark::State& state) {
    run_chart(state,
              ribbon_chart(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}
BENCHMARK(BM_RibbonChart)->Args({8, 250})->Args({16, 1000})->Unit(benchmark::kMillisecond);

void BM_BoxChart(benchmark::State& state) {
    run_chart(state, box_chart(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}
BENCHMARK(BM_BoxChart)->Args({20, 50})->Unit(benchmark::kMillisecond);

void BM_TransformPoints(benchmark::State& state) {
    CChartView3D view;
    view.SetPerspective(5);
    std::size_t n = static_cast<std::size_t>(state.range(0));
    std::vector<double> x(n), y(n), z(n);
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = static_cast<double>(i % 100) - 50;
            y[i] = static_cast<double>(i % 37) - 18;
            z[i] = static_cast<double>(i % 61) - 30;
        }
        state.ResumeTiming();
        view.TransformPoints(x.data(), y.data(), z.data(), static_cast<int>(n));
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TransformPoints)->Arg(100000);

} // namespace
