// Reading runs: opening a run of a 10,000-element model and reading every
// series once; reading one series of a large run (which must not read the
// whole file).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/memory.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

namespace {

constexpr int elements = 10000;
constexpr int saved_times = 101;

// A model of 100 subscripted levels of 100 elements each, and its run file.
struct big_run {
    std::string path;
    std::vector<std::string> names;
    big_run() {
        path = "/tmp/bench_run_read_" + std::to_string(getpid()) + ".kdf";
        model_builder b("big");
        b.control(0, 100, 1, 1);
        std::vector<std::string> el;
        for (int k = 0; k < 100; ++k) el.push_back("e" + std::to_string(k));
        std::vector<const char*> ptrs;
        for (auto& e : el) ptrs.push_back(e.c_str());
        b.range("r", ptrs);
        for (int v = 0; v < elements / 100; ++v)
            b.level(("L" + std::to_string(v) + "[r]").c_str(), "1", "0");
        b.finish();
        run_builder rb(b.symbols());
        std::vector<float> times;
        for (int t = 0; t < saved_times; ++t) times.push_back(static_cast<float>(t));
        rb.times(times);
        for (int v = 0; v < elements / 100; ++v)
            for (int k = 0; k < 100; ++k) {
                std::string n =
                    "L" + std::to_string(v) + "[" + el[static_cast<std::size_t>(k)] + "]";
                std::vector<float> s;
                for (int t = 0; t < saved_times; ++t) s.push_back(static_cast<float>(v * t + k));
                rb.series(n, s);
                names.push_back(n);
            }
        rb.write(path);
    }
    ~big_run() { std::remove(path.c_str()); }
};

big_run& run() {
    static big_run r;
    return r;
}

void BM_open_and_read_every_series(benchmark::State& state) {
    big_run& b = run();
    std::vector<float> v, t;
    for (auto _ : state) {
        int r = kdf_open(b.path.c_str());
        long points = 0;
        for (const std::string& n : b.names) points += read_run_series(n.c_str(), "Time", r, v, t);
        benchmark::DoNotOptimize(points);
        unload_run(r);
        free_scratch();
    }
    state.counters["series"] = static_cast<double>(b.names.size());
}
BENCHMARK(BM_open_and_read_every_series)->Unit(benchmark::kMillisecond);

void BM_read_one_series(benchmark::State& state) {
    big_run& b = run();
    int r = kdf_open(b.path.c_str());
    std::vector<float> v, t;
    std::size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(read_run_series(b.names[k].c_str(), "Time", r, v, t));
        k = (k + 997) % b.names.size();
    }
    unload_run(r);
}
BENCHMARK(BM_read_one_series)->Unit(benchmark::kMicrosecond);

} // namespace
