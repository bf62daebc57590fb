// Loading a large model (100 subscripted levels and flows over 100 elements).
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/memory.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "tests/support/model_builder.h"

namespace {

const std::string& large_model() {
    static std::string path = [] {
        init_vocabulary();
        model_builder b("large");
        add_stock_ring(b);
        std::string p = "/tmp/kavrel_bench_large.kmf";
        b.write(p.c_str());
        return p;
    }();
    return path;
}

void BM_LoadLargeModel(benchmark::State& state) {
    const std::string& path = large_model();
    for (auto _ : state) {
        model_pair m = read_model_file(path.c_str());
        benchmark::DoNotOptimize(m.symbols);
        free_model(m.header, m.symbols);
    }
}
BENCHMARK(BM_LoadLargeModel);

void BM_FindSymbol(benchmark::State& state) {
    model_pair m = read_model_file(large_model().c_str());
    int i = 0;
    for (auto _ : state) {
        std::string n = "FLOW " + std::to_string(i++ % 100);
        benchmark::DoNotOptimize(find_symbol_in(m.symbols, n.c_str()));
    }
    free_model(m.header, m.symbols);
}
BENCHMARK(BM_FindSymbol);

} // namespace
