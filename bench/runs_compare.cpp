// Run comparison and the Datasets page's list: two runs of the 10,000-stock
// ring model that differ in "rate" compared for every class both ways, and
// the available list of a folder of 5,000 run files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/docwriter.h"
#include "foundation/memory.h"
#include "foundation/paths.h"
#include "model/model.h"
#include "runs/compare.h"
#include "runs/runfile.h"
#include "shell/datasets.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

namespace {

constexpr int saved_times = 101;

struct ring_runs {
    std::string dir;
    int r1 = -1, r2 = -1;
    ring_runs() {
        dir = "/tmp/bench_runs_compare_" + std::to_string(getpid());
        std::filesystem::create_directories(dir);
        model_builder b("ring");
        b.control(0, 100, 1, 1);
        add_stock_ring(b);
        b.finish();
        lock_model_guard_slots(b);
        std::vector<float> times;
        for (int t = 0; t < saved_times; ++t) times.push_back(static_cast<float>(t));
        for (int run = 0; run < 2; ++run) {
            run_builder rb(b.symbols());
            rb.times(times);
            rb.constant("rate", run ? 0.02f : 0.01f);
            for (int s = 1; s < slots; ++s) {
                std::vector<float> v(saved_times);
                for (int t = 0; t < saved_times; ++t)
                    v[static_cast<std::size_t>(t)] = 1 + static_cast<float>(s % 7) *
                                                             static_cast<float>(t) *
                                                             (run ? 0.02f : 0.01f);
                rb.series_slot(s, v);
            }
            rb.write(dir + "/run" + std::to_string(run) + ".kdf");
        }
        r1 = kdf_open((dir + "/run0.kdf").c_str());
        r2 = kdf_open((dir + "/run1.kdf").c_str());
    }
    ~ring_runs() {
        free_loaded_runs();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // The value slots of the model (Time is slot 0).
    void lock_model_guard_slots(model_builder& b) {
        model_lock_guard g(b.symbols(), 0);
        slots = static_cast<int>(model_hdr->w[mh_level_slots] + model_hdr->w[mh_other_slots]);
    }
    int slots = 0;
};

void BM_compare_every_class_both_ways(benchmark::State& state) {
    static ring_runs runs;
    int found = 0;
    for (auto _ : state) {
        text_report(0, 0, 0, report_none, 0, 0);
        for (int cls : {23, 26, 5, 22, 8, 17, 19}) {
            found += compare_runs("one", runs.r1, "two", runs.r2, 0, cls, 0, 0);
            compare_runs("two", runs.r2, "one", runs.r1, 1, cls, 0, 0);
        }
        clear_report_lines();
        free_scratch();
    }
    benchmark::DoNotOptimize(found);
}
BENCHMARK(BM_compare_every_class_both_ways)->Unit(benchmark::kMillisecond);

void BM_available_list_of_5000_files(benchmark::State& state) {
    const std::string dir = "/tmp/bench_datasets_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    for (int i = 0; i < 5000; ++i) std::ofstream(dir + "/run " + std::to_string(i) + ".kdf");
    const std::string old = model_dir;
    model_dir = dir;
    std::size_t n = 0;
    for (auto _ : state) {
        n = available_run_names().size();
        free_scratch();
    }
    model_dir = old;
    state.counters["names"] = static_cast<double>(n);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_available_list_of_5000_files)->Unit(benchmark::kMillisecond);

} // namespace
