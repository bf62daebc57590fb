// The line graph over loaded runs: 16 run files of 10,001 saved times made
// with the run builder, loaded as the selected runs of the open model, then
// gathered (each series read from its run, ranges and division counts fixed,
// points mapped into the square) as the Graph tool gathers them.
#include "foundation/memory.h"
#include "foundation/paths.h"
#include "graphs/linegraph.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr int runs = 16;
constexpr int saved = 10001;

struct loaded_runs {
    std::string dir;
    loaded_runs() {
        char tmpl[] = "/tmp/bench_graph_runs_XXXXXX";
        dir = mkdtemp(tmpl);
        model_builder b("graph");
        b.control(0, 100, 0.01f, 0.01f);
        b.level("Stock", "inflow", "1000");
        b.aux("inflow", "0.01 * Stock");
        b.finish();
        std::vector<float> times(saved);
        for (int i = 0; i < saved; ++i) times[static_cast<std::size_t>(i)] = i * 0.01f;
        for (int r = 0; r < runs; ++r) {
            std::vector<float> v(saved);
            for (int i = 0; i < saved; ++i)
                v[static_cast<std::size_t>(i)] =
                    static_cast<float>(1000 + 50 * r + 400 * std::sin(i / (300.0 + 20 * r)));
            run_builder rb(b.symbols());
            rb.times(times).series("Stock", v);
            rb.write(dir + "/run" + std::to_string(r) + ".kdf");
        }
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir.c_str(), (dir + "/graph.kmf").c_str());
        model_dir = dir;
        for (int r = 0; r < runs; ++r)
            load_runs(model_rec, 0, ("run" + std::to_string(r)).c_str(), 1, 0);
    }
    ~loaded_runs() {
        close_model(0, 0);
        model_dir.clear();
        (void)std::system(("rm -rf '" + dir + "'").c_str());
    }
};

loaded_runs& fixture() {
    static loaded_runs f;
    return f;
}

// The Graph tool's series: Stock from every loaded run.
void add_series(line_graph& g) {
    g.series.clear();
    g.x_min = g.y_min = axis_unset;
    g.x_max = g.y_max = -axis_unset;
    g.x_divisions = -1;
    for (int k = 0; k < model_rec->run_count && k < runs; ++k) {
        graph_series s;
        s.name = "Stock";
        s.run = model_rec->runs[k].run;
        s.label = "Stock : run" + std::to_string(k);
        g.series.push_back(std::move(s));
    }
}

void BM_GatherSixteenLoadedRuns(benchmark::State& state) {
    fixture();
    if (!model_rec || model_rec->run_count != runs) {
        state.SkipWithError("the runs did not load");
        return;
    }
    handle h = new_line_graph_record();
    line_graph& g = *graph_of(h);
    int got = 0;
    for (auto _ : state) {
        state.PauseTiming();
        add_series(g);
        state.ResumeTiming();
        lock_model(1);
        got = gather_graph_series(g, true);
        unlock_model(1);
    }
    if (got != runs) state.SkipWithError("not every series was read");
    state.SetItemsProcessed(state.iterations() * runs * saved);
}
BENCHMARK(BM_GatherSixteenLoadedRuns)->Unit(benchmark::kMillisecond);

} // namespace
