// Reading and writing a graph set of 1,000 definitions (the goal: read in
// under 100 ms).
#include "graphs/sets/graphset.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string thousand_definitions() {
    std::string text = std::string(graph_set_marker_line) + "\n";
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
        case 0:
            text += ":GRAPH g" + n + "\n:TITLE Graph " + n +
                    " of \\Population@END/\n:X-MIN 0\n:SCALE\n" +
                    ":VAR Population|People,Births[a]\n:DATASET base|Base\n:LINE-STYLE DOT\n" +
                    ":SCALE\n:VAR Deaths\n:SENS-LINES 50=255|0|0\n:MEAN\n\n";
            break;
        case 1:
            text += ":BAR-GRAPH b" + n + "\n:SORT 2\n:AS-RUN first\n:VAR a,b,c\n:BAR-VAR-TIME 5\n" +
                    ":DATASET *2|second\n\n";
            break;
        case 2:
            text += ":TABLE t" + n + "\n:PRINT-EVERY 2\n:VAR x|X\n:3\n:FORMAT %.2f\n:COMLINE c\n\n";
            break;
        default:
            text += ":REPORT r" + n +
                    "\nThe value \\/ at the end\n:NEWPAGE\n:VAR Population@END\n" +
                    ":END-OF-REPORT\n\n";
        }
    }
    return text;
}

void BM_ReadThousandDefinitions(benchmark::State& state) {
    const std::string text = thousand_definitions();
    for (auto _ : state) {
        const int i = load_graph_set_text(text.c_str(), 1, 0, 0);
        benchmark::DoNotOptimize(graph_sets()[static_cast<std::size_t>(i)].defs.size());
        free_graph_set(i);
    }
}
BENCHMARK(BM_ReadThousandDefinitions)->Unit(benchmark::kMillisecond);

void BM_WriteThousandDefinitions(benchmark::State& state) {
    const std::string text = thousand_definitions();
    const int i = load_graph_set_text(text.c_str(), 1, 0, 0);
    for (auto _ : state) {
        std::string out = graph_set_text(graph_sets()[static_cast<std::size_t>(i)], true, nullptr);
        benchmark::DoNotOptimize(out.size());
    }
    free_graph_set(i);
}
BENCHMARK(BM_WriteThousandDefinitions)->Unit(benchmark::kMillisecond);

} // namespace
