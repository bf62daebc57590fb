// The loop search: on "stock 0" of the large model (100 subscripted levels
// over 100 elements, each flowing toward the next) and on a dense model whose
// search stops at the loop cap.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/eqtext.h"
#include "model/model.h"
#include "tests/support/model_builder.h"
#include "tools/loops.h"

namespace {

void make_current(model_builder& b) {
    b.finish();
    model_pair m = b.release();
    close_model(m.header, m.symbols);
}

void run_loops(benchmark::State& state, const char* name) {
    std::FILE* sink = std::tmpfile();
    set_report_stream(sink);
    symbol_id var = find_symbol(name);
    int found = 0;
    for (auto _ : state) {
        text_report(512, 512, 0, report_none, 0, 0);
        found = loops_text(var, false, nullptr);
        benchmark::DoNotOptimize(found);
        free_scratch();
    }
    state.counters["loops"] = found;
    set_report_stream(nullptr);
    std::fclose(sink);
}

void BM_LoopsOnTheLargeModel(benchmark::State& state) {
    init_vocabulary();
    register_text_writers();
    model_builder b("large");
    add_stock_ring(b);
    make_current(b);
    run_loops(state, "stock 0");
    close_model(0, 0);
}
BENCHMARK(BM_LoopsOnTheLargeModel)->Unit(benchmark::kMillisecond);

void BM_LoopsUpToTheCap(benchmark::State& state) {
    init_vocabulary();
    register_text_writers();
    model_builder b("dense");
    constexpr int n = 9; // each of 9 auxiliaries uses all the others
    for (int i = 0; i < n; ++i) {
        std::string expr;
        for (int j = 0; j < n; ++j)
            if (j != i) expr += (expr.empty() ? "" : " + ") + ("v" + std::to_string(j));
        b.aux(("v" + std::to_string(i)).c_str(), expr.c_str());
    }
    make_current(b);
    run_loops(state, "v0");
    close_model(0, 0);
}
BENCHMARK(BM_LoopsUpToTheCap)->Unit(benchmark::kMillisecond);

} // namespace
