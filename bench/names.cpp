// Speed of the name matcher, the number texts and the report writer, which
// run once per variable or per value in the tools' loops.
#include <benchmark/benchmark.h>

#include <string>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/names.h"

namespace {

void BM_WildcardPathological(benchmark::State& state) {
    std::string name(static_cast<std::size_t>(state.range(0)), 'a');
    for (auto _ : state) benchmark::DoNotOptimize(wildcard_match(name.c_str(), "*A*A*A*A*A*B"));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WildcardPathological)->RangeMultiplier(4)->Range(64, 16384)->Complexity();

void BM_WildcardTypical(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(wildcard_match("population[region one,cohort 3]", "POP*[*3]"));
}
BENCHMARK(BM_WildcardTypical);

void BM_NameCmp(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(name_cmp("Net Birth Rate", "NET BIRTH RATE"));
}
BENCHMARK(BM_NameCmp);

void BM_FormatNumber(benchmark::State& state) {
    double v = 1234.5678;
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(format_number(v, 1, nullptr));
        v *= 1.0001;
        if (++n == 10000) {
            free_scratch();
            n = 0;
        }
    }
    free_scratch();
}
BENCHMARK(BM_FormatNumber);

void BM_ParseNumber(benchmark::State& state) {
    float v = 0;
    for (auto _ : state) benchmark::DoNotOptimize(parse_number(" -1234.5e-2M ", &v, 0));
}
BENCHMARK(BM_ParseNumber);

void BM_DocprintfWrapped(benchmark::State& state) {
    for (auto _ : state) {
        text_report(256, 70, 0, report_none, 0, 0);
        for (int i = 0; i < 100; ++i) docprintf("variable %d = %s * rate ", i, "stock");
        docprintf("\n");
    }
    text_report(256, 0, 0, report_none, 0, 0);
}
BENCHMARK(BM_DocprintfWrapped);

} // namespace
