// Loading a 1,000-element view into a sketch (link checks against the
// equations, sizes and connector geometry), hit testing it, selecting with a
// band and painting it into a 1600 x 1000 window-sized image.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <cstdlib>

#include "platform/gdi_internal.h"
#include "sketch/drawsketch.h"

#include "model/model.h"
#include "sketch/geometry.h"
#include "sketch/mouse.h"
#include "sketch/moves.h"
#include "sketch/views.h"
#include "tests/support/model_builder.h"
#include "tests/support/view_layout.h"

namespace {

model_builder& ring_model() {
    static model_builder* b = [] {
        init_vocabulary();
        auto* m = new model_builder("large");
        add_stock_ring(*m);
        lay_out_stock_ring(*m);
        m->finish();
        return m;
    }();
    return *b;
}

void BM_LoadView1000(benchmark::State& state) {
    sketch_state s;
    s.symbols = ring_model().symbols();
    s.header = ring_model().header();
    for (auto _ : state) {
        load_view(s, 0, 0, false, 0, false);
        benchmark::DoNotOptimize(s.view.elems.data());
    }
    state.counters["elements"] = s.view.count() - 1;
}
BENCHMARK(BM_LoadView1000)->Unit(benchmark::kMillisecond);

void BM_HitTest(benchmark::State& state) {
    sketch_state s;
    s.symbols = ring_model().symbols();
    s.header = ring_model().header();
    load_view(s, 0, 0, false, 0, false);
    int i = 0;
    for (auto _ : state) {
        // Points spread over the grid, on and between the elements.
        int x = (i * 37) % 2700, y = (i * 53) % 1300;
        ++i;
        benchmark::DoNotOptimize(hit_test(s, 1, x, y, false));
    }
}
BENCHMARK(BM_HitTest)->Unit(benchmark::kMicrosecond);

// A rubber band over half the grid, as its release selects.
void BM_BandSelect1000(benchmark::State& state) {
    sketch_state s;
    s.symbols = ring_model().symbols();
    s.header = ring_model().header();
    load_view(s, 0, 0, false, 0, false);
    int selected = 0;
    for (auto _ : state) {
        clear_selection(s);
        selected = select_elements(s, 0, 0, 1350, 1300);
        benchmark::DoNotOptimize(selected);
    }
    state.counters["selected"] = selected;
}
BENCHMARK(BM_BandSelect1000)->Unit(benchmark::kMicrosecond);

// One step of dragging half the grid: every selected element placed again
// from where the move began and the connectors at its ends recomputed, as
// each mouse move of a drag does.
void BM_MoveSelectionStep1000(benchmark::State& state) {
    sketch_state s;
    s.symbols = ring_model().symbols();
    s.header = ring_model().header();
    load_view(s, 0, 0, false, 0, false);
    select_elements(s, 0, 0, 1350, 1300);
    selection_move m;
    if (!begin_selection_move(s, &m)) {
        state.SkipWithError("nothing to move");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        ++i;
        apply_selection_move(s, m, i % 40, (i * 7) % 30);
        benchmark::DoNotOptimize(s.view.elems.data());
    }
    state.counters["moved"] = static_cast<double>(m.moved.size());
    state.counters["connectors"] = static_cast<double>(m.connectors.size());
}
BENCHMARK(BM_MoveSelectionStep1000)->Unit(benchmark::kMicrosecond);

void BM_PaintView1000(benchmark::State& state) {
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_sketch_view";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    sketch_state s;
    s.symbols = ring_model().symbols();
    s.header = ring_model().header();
    load_view(s, 0, 0, false, 0, false);
    QImage img(1600, 1000, QImage::Format_RGB32);
    HDC dc = gdi_create_image_dc(&img, nullptr, QRegion());
    const RECT client{0, 0, 1600, 1000};
    for (auto _ : state) {
        paint_sketch(dc, s, client);
        benchmark::DoNotOptimize(img.constBits());
    }
    gdi_delete_image_dc(dc);
    state.counters["elements"] = s.view.count() - 1;
}
BENCHMARK(BM_PaintView1000)->Unit(benchmark::kMillisecond);

} // namespace
