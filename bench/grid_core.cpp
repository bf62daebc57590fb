// The grid's rows: 10,000 rows of 100 cells added, and their text and BIFF2
// copies.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "foundation/memory.h"
#include "tools/grid_core.h"

namespace {

grid_rows make_rows() {
    grid_rows g;
    std::vector<float> v(100);
    for (int i = 0; i < 100; ++i) v[static_cast<std::size_t>(i)] = static_cast<float>(i) * 1.25f;
    for (int r = 0; r < 10000; ++r) {
        std::string label = "stock " + std::to_string(r);
        grid_add_row(g, label.c_str(), nullptr, v.data(), nullptr, 100, true, nullptr, 0,
                     run_colour_mark(r));
    }
    return g;
}

void BM_GridAddRows(benchmark::State& state) {
    for (auto _ : state) {
        grid_rows g = make_rows();
        benchmark::DoNotOptimize(g.rows.size());
    }
}
BENCHMARK(BM_GridAddRows)->Unit(benchmark::kMillisecond);

void BM_GridBiffCopy(benchmark::State& state) {
    grid_rows g = make_rows();
    for (auto _ : state) benchmark::DoNotOptimize(grid_export_biff(g).size());
}
BENCHMARK(BM_GridBiffCopy)->Unit(benchmark::kMillisecond);

void BM_GridTextCopy(benchmark::State& state) {
    grid_rows g = make_rows();
    for (auto _ : state) {
        benchmark::DoNotOptimize(grid_export_text(g, "\r\n").size());
        free_scratch();
    }
}
BENCHMARK(BM_GridTextCopy)->Unit(benchmark::kMillisecond);

} // namespace
