// The line graph whole: 16 series of 10,000 points gathered (ranges, division
// counts, mapping) and drawn by the graph's draw code (title, grid, curves,
// numbers, legend) into a 1200 x 800 window-sized image. And a
// work-in-progress update: one new point for each of 16 series, mapped and
// drawn as the newest segments only.
#include "draw/drawing.h"
#include "draw/printing.h"
#include "graphs/linegraph.h"
#include "platform/gdi_internal.h"
#include "tests/driver/driver.h"
#include "tools/output.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int runs = 16, points = 10000;

void fill(line_graph& g) {
    g.series.clear();
    g.x_min = 0, g.x_max = 100;
    g.y_min = axis_unset;
    g.y_max = -axis_unset;
    g.x_divisions = -1;
    for (int r = 0; r < runs; ++r) {
        graph_series s;
        s.label = "Population : run " + std::to_string(r);
        s.times.resize(points);
        s.values.resize(points);
        for (int i = 0; i < points; ++i) {
            s.times[static_cast<std::size_t>(i)] = static_cast<float>(i) * 0.01f;
            s.values[static_cast<std::size_t>(i)] =
                static_cast<float>(1000 + 50 * r + 400 * std::sin(i / (300.0 + 20 * r)));
        }
        g.series.push_back(std::move(s));
    }
}

void BM_GatherSixteenSeries(benchmark::State& state) {
    handle h = new_line_graph_record();
    line_graph& g = *graph_of(h);
    for (auto _ : state) {
        state.PauseTiming();
        fill(g);
        state.ResumeTiming();
        benchmark::DoNotOptimize(gather_graph_series(g, true));
    }
    state.SetItemsProcessed(state.iterations() * runs * points);
}
BENCHMARK(BM_GatherSixteenSeries)->Unit(benchmark::kMillisecond);

void BM_LineGraphRepaint(benchmark::State& state) {
    test_driver::start();
    handle h = new_line_graph_record();
    line_graph& g = *graph_of(h);
    fill(g);
    g.caption = "Population";
    g.x_title = "Time";
    gather_graph_series(g, true);
    QImage img(1200, 800, QImage::Format_RGB32);
    out_size = SIZE{1200, 800};
    for (auto _ : state) {
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
        {
            draw_pass pass(dc, dc);
            draw_line_graph(g, 1);
        }
        gdi_delete_image_dc(dc);
    }
    out_size = SIZE{0, 0};
    state.SetItemsProcessed(state.iterations() * runs * points);
}
BENCHMARK(BM_LineGraphRepaint)->Unit(benchmark::kMillisecond);

void BM_WipUpdateSixteenSeries(benchmark::State& state) {
    test_driver::start();
    handle h = new_line_graph_record();
    line_graph& g = *graph_of(h);
    g.x_min = 0, g.x_max = 1e9; // never left: every update is a segment
    g.y_min = 0, g.y_max = 2000;
    g.caption = "Work in progress";
    std::vector<int> all;
    for (int r = 0; r < runs; ++r) {
        graph_series s;
        s.label = "Inventory : run " + std::to_string(r);
        s.times = {0};
        s.values = {static_cast<float>(1000 + 50 * r)};
        g.series.push_back(std::move(s));
        all.push_back(r);
    }
    gather_graph_series(g, true);
    QImage img(1200, 800, QImage::Format_RGB32);
    out_size = SIZE{1200, 800};
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
    {
        draw_pass pass(dc, dc);
        draw_line_graph(g, 1);
    }
    float t = 0;
    for (auto _ : state) {
        t += 1000;
        for (graph_series& s : g.series) {
            s.times.push_back(t);
            s.values.push_back(static_cast<float>(1000 + 400 * std::sin(t * 1e-6)));
        }
        map_newest_points(g, all);
        draw_pass pass(dc, dc);
        benchmark::DoNotOptimize(draw_newest_segments(g, all));
    }
    gdi_delete_image_dc(dc);
    out_size = SIZE{0, 0};
    state.SetItemsProcessed(state.iterations() * runs);
}
BENCHMARK(BM_WipUpdateSixteenSeries)->Unit(benchmark::kMicrosecond);

} // namespace
