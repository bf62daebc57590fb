// The bar graph's histogram of 16 runs x 10,000 values built (range, rounded
// bins, counting, heights) and drawn into a 1200 x 800 image; the
// sensitivity graph's 50/75/95/100 % bands of 1,000 simulations x 1,000
// times mapped (sorted at every time); a drag step of the lookup editor (a
// point of 200 moved, the graph area repainted).
#include "draw/drawing.h"
#include "draw/printing.h"
#include "foundation/memory.h"
#include "graphs/bargraph.h"
#include "graphs/lookupdlg.h"
#include "graphs/sensitivity.h"
#include "platform/gdi_internal.h"
#include "tests/driver/driver.h"
#include "tools/output.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<float>> histogram_runs() {
    std::vector<std::vector<float>> runs(16);
    for (int r = 0; r < 16; ++r)
        for (int i = 0; i < 10000; ++i)
            runs[static_cast<std::size_t>(r)].push_back(
                static_cast<float>(1000 + 50 * r + 400 * std::sin(i / (300.0 + 20 * r))));
    return runs;
}

void BM_HistogramBuildAndDraw(benchmark::State& state) {
    test_driver::start();
    const auto runs = histogram_runs();
    QImage img(1200, 800, QImage::Format_RGB32);
    out_size = SIZE{1200, 800};
    for (auto _ : state) {
        bar_graph g;
        g.run_count = 16;
        g.bins = 20;
        g.title = "Population - time histogram";
        for (int r = 0; r < 16; ++r) g.run_labels.push_back("run " + std::to_string(r));
        build_histogram(g, runs);
        handle h = new_bar_record(std::move(g));
        auto* o = static_cast<output_record*>(lock_handle(h));
        HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 1200, 800)));
        {
            draw_pass pass(dc, dc);
            bar_draw(o);
        }
        gdi_delete_image_dc(dc);
        void (*release)(handle) = o->release;
        unlock_handle(h);
        release(h);
        free_output_record(h);
    }
    out_size = SIZE{0, 0};
    state.SetItemsProcessed(state.iterations() * 16 * 10000);
}
BENCHMARK(BM_HistogramBuildAndDraw)->Unit(benchmark::kMillisecond);

void BM_SensitivityBands(benchmark::State& state) {
    constexpr int sims = 1000, times = 1000;
    sens_series first;
    std::vector<std::vector<float>> rows(sims);
    for (int t = 0; t < times; ++t) {
        first.times.push_back(static_cast<float>(t));
        first.values.push_back(1000.0f + t);
    }
    for (int s = 0; s < sims; ++s)
        for (int t = 0; t < times; ++t)
            rows[static_cast<std::size_t>(s)].push_back(
                static_cast<float>(1000 + t * (0.5 + ((s * 7919) % sims) / double(sims))));
    sens_window w;
    w.t_low = 0;
    w.t_high = times - 1;
    const std::int32_t bounds[4] = {500, 750, 950, 1000};
    std::copy(bounds, bounds + 4, w.bounds);
    w.band_count = 4;
    for (auto _ : state) {
        sens_plot p;
        map_sens_plot(p, w, first, rows, {}, true);
        benchmark::DoNotOptimize(p.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * sims * times);
}
BENCHMARK(BM_SensitivityBands)->Unit(benchmark::kMillisecond);

// One mouse move of a drag: the point follows the cursor and the graph area
// (the dialog's size on the screen) is painted again.
void BM_LookupDragRepaint(benchmark::State& state) {
    test_driver::start();
    lookup_points p;
    for (int i = 0; i < 200; ++i) {
        p.x.push_back(static_cast<float>(i));
        p.y.push_back(static_cast<float>(50 + 40 * std::sin(i / 15.0)));
    }
    p.ref_x = p.x;
    p.ref_y = p.y;
    p.x_min = 0;
    p.x_max = 200;
    p.y_min = 0;
    p.y_max = 100;
    QImage img(320, 340, QImage::Format_RGB32);
    const RECT plot{8, 8, 312, 332};
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion(QRect(0, 0, 320, 340)));
    int step = 0;
    for (auto _ : state) {
        move_lookup_point(p, 100, 100.0f, static_cast<float>(step++ % 100));
        RECT all{0, 0, 320, 340};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        draw_lookup_points(dc, plot, p);
    }
    gdi_delete_image_dc(dc);
    benchmark::DoNotOptimize(img.bits());
}
BENCHMARK(BM_LookupDragRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
