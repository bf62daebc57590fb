// The engine's native tier against its flat loop (bench_sim_speed gives the
// same models against hand-written C++: run it with KAVREL_NATIVE=0 and 1):
// - runs of the 50-variable chain and of a scalar model of many sectors on
//   each road (CPU time: a busy machine slows the wall clock);
// - a compile and first run of those models, the passes built anew each time;
// - open-compile-close cycles: the process's resident size before and after.
#include <benchmark/benchmark.h>

#include "bench/dense_model.h"
#include "bench/direct_models.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/model.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "sim/timeloop.h"
#include "tests/support/model_builder.h"

namespace {

std::string num(int i) {
    return std::to_string(i);
}

// 0: the 50-variable chain of bench_sim_speed (ten levels, four auxiliaries
// each, 100,000 steps); n > 0: n sectors of 150 levels, each with a ratio and
// a lookup, MIN, IF THEN ELSE or MAX in its inflow (the shapes of the
// world-size model but its smoothing), 400 Euler steps.
struct built_model {
    model_builder b{"native bench"};
    sim_program p;
    explicit built_model(int sectors) {
        init_vocabulary();
        if (sectors == 0)
            make_chain();
        else
            make_sectors(sectors);
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
    void make_chain() {
        b.control(0, 100000, 1, 100000);
        for (int i = 0; i < 10; ++i) {
            std::string n = num(i), next = num((i + 1) % 10);
            b.constant(("k" + n).c_str(), 0.001f * static_cast<float>(i + 1));
            b.level(("L" + n).c_str(), ("f" + n).c_str(), "10");
            b.aux(("a" + n).c_str(), ("L" + n + " * k" + n).c_str());
            b.aux(("b" + n).c_str(), ("a" + n + " + L" + next + " * 0.0001").c_str());
            b.aux(("c" + n).c_str(), ("b" + n + " - L" + n + " * 0.0002").c_str());
            b.aux(("f" + n).c_str(), ("c" + n + " / (1 + a" + n + " * a" + n + ")").c_str());
        }
    }
    void make_sectors(int sectors) {
        b.control(0, 200, 0.5f, 1);
        b.lookup("tbl", {{0, 0.5f}, {0.5f, 0.8f}, {1, 1}, {1.5f, 1.15f}, {2, 1.25f}, {3, 1.3f}});
        for (int s = 0; s < sectors; ++s)
            for (int i = 0; i < 150; ++i) {
                std::string p = "s" + num(s) + " ", n = num(i), n1 = num((i + 1) % 150);
                std::string L = p + "L", x = p + "x", f = p + "f", k = p + "k";
                b.constant((k + n).c_str(), 0.02f + 0.0001f * static_cast<float>(i));
                b.level((L + n).c_str(),
                        (f + n + " - " + L + n + " * " + k + n + " * " + x + n).c_str(), "40");
                b.aux((x + n).c_str(), (L + n + " / 50").c_str());
                std::string e;
                if (i % 4 == 0)
                    e = k + n + " * " + L + n1 + " * tbl(" + x + n + ")";
                else if (i % 4 == 1)
                    e = k + n + " * MIN(" + L + n1 + ", 60)";
                else if (i % 4 == 2)
                    e = k + n + " * IF THEN ELSE(" + x + n + " > 1, " + L + n1 + " * 0.9, " + L +
                        n1 + ")";
                else
                    e = k + n + " * " + L + n1 + " * MAX(1 - " + x + n + ", 0.2)";
                b.aux((f + n).c_str(), e.c_str());
            }
    }
};

built_model& model_of(int which) {
    static built_model chain(0), one(1), many(9);
    return which == 0 ? chain : which == 1 ? one : many;
}

// Times runs of a model on the road of the benchmark's second argument (0
// the flat loop, 1 tier 0, 2 tier 1, 3 the default), the first two runs and
// the worker's compiles outside the timing: the initial pass is built at the
// second run, and compiled then, before that run, at tier 0 or 1 (a compile
// of 1 s for 167 dense sectors at tier 1, which made tier 1 seem slower than
// the default when it was timed).
void time_runs(benchmark::State& state, model_builder& b, const sim_program& p) {
    set_native_mode(static_cast<int>(state.range(1)));
    forget_kept_passes();
    sim_options o;
    sim_output out;
    for (int k = 0; k < 2; ++k) {
        run_program(b.symbols(), p, o, &out);
        native_wait_idle();
    }
    for (auto _ : state) {
        int r = run_program(b.symbols(), p, o, &out);
        benchmark::DoNotOptimize(r);
    }
}

// Runs of one model on one road (0 the flat loop, 1 tier 0, 2 tier 1, 3 the
// default: the passes the worker compiles once it has compiled them).
void BM_Runs(benchmark::State& state) {
    built_model& m = model_of(static_cast<int>(state.range(0)));
    time_runs(state, m.b, m.p);
    state.counters["native_passes"] = static_cast<double>(native_live_passes());
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_Runs)
    ->ArgNames({"model", "native"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({0, 3})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({1, 3})
    ->Args({9, 0})
    ->Args({9, 1})
    ->Args({9, 2})
    ->Args({9, 3})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

double process_cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

dense_model& dense_of(int sectors) {
    static std::map<int, std::unique_ptr<dense_model>> models;
    auto& m = models[sectors];
    if (!m) m = std::make_unique<dense_model>(sectors);
    return *m;
}

// The dense world-size model of bench_sim_speed (sectors of 10 levels and
// 20 auxiliaries; 167 sectors hold 5,010 values) on each road, and as C++
// (road -1).
void BM_DenseRuns(benchmark::State& state) {
    const int sectors = static_cast<int>(state.range(0));
    if (state.range(1) < 0) {
        dense_direct d(sectors);
        for (auto _ : state) {
            d.run();
            benchmark::DoNotOptimize(d.rows.data());
        }
        return;
    }
    dense_model& m = dense_of(sectors);
    const std::size_t misses = native_bound_misses(), handed = native_handovers(),
                      rolled = native_rolled_units(), lanes = native_lane_units();
    time_runs(state, m.b, m.p);
    state.counters["rolled_units"] = static_cast<double>(native_rolled_units() - rolled);
    state.counters["lane_units"] = static_cast<double>(native_lane_units() - lanes);
    state.counters["bound_misses"] = static_cast<double>(native_bound_misses() - misses);
    state.counters["handovers"] = static_cast<double>(native_handovers() - handed);
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_DenseRuns)
    ->ArgNames({"sectors", "native"})
    ->ArgsProduct({{15, 167}, {-1, 0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

// Two models in turn: a run of 167 dense sectors starts its compiles on
// the worker, and 50 ms later a run of 5 dense sectors replaces it. Counter:
// the time from the second run's start until the worker is idle (the second
// model's compiles done, the first's dropped), wall ms, and the same for the
// second model run alone; the first model's tier 0 alone takes about half a
// second, its tier 1 several.
void BM_NextModelCompiled(benchmark::State& state) {
    dense_model &big = dense_of(167), &small = dense_of(5);
    set_native_mode(nm_auto);
    sim_options o;
    sim_output out;
    using clock = std::chrono::steady_clock;
    double idle = 0, alone = 0;
    long n = 0;
    for (auto _ : state) {
        forget_kept_passes();
        native_wait_idle();
        run_program(big.b.symbols(), big.p, o, &out);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto t0 = clock::now();
        run_program(small.b.symbols(), small.p, o, &out);
        native_wait_idle();
        idle += std::chrono::duration<double, std::milli>(clock::now() - t0).count();
        // The second model's compiles alone, for comparison.
        forget_kept_passes();
        native_wait_idle();
        const auto t1 = clock::now();
        run_program(small.b.symbols(), small.p, o, &out);
        native_wait_idle();
        alone += std::chrono::duration<double, std::milli>(clock::now() - t1).count();
        ++n;
    }
    state.counters["idle_ms"] = idle / static_cast<double>(std::max(n, 1L));
    state.counters["alone_ms"] = alone / static_cast<double>(std::max(n, 1L));
    forget_kept_passes();
}
BENCHMARK(BM_NextModelCompiled)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A compile at tier 0 or 1 (native 1, 2) and the first run of the dense
// model, the passes built anew each time, in wall time (the compile uses
// every core: the time a user waits).
void BM_DenseCompileAndFirstRun(benchmark::State& state) {
    dense_model& m = dense_of(static_cast<int>(state.range(0)));
    set_native_mode(static_cast<int>(state.range(1)));
    sim_options o;
    sim_output out;
    double cpu = 0;
    long n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forget_kept_passes();
        native_wait_idle();
        state.ResumeTiming();
        const double t = process_cpu_ms();
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
        cpu += process_cpu_ms() - t;
        ++n;
    }
    // Every thread's CPU time (the compile's helpers too): a loaded
    // machine's wall time says little.
    state.counters["cpu_ms"] = cpu / static_cast<double>(std::max(n, 1L));
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_DenseCompileAndFirstRun)
    ->ArgNames({"sectors", "native"})
    ->ArgsProduct({{15, 167}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// How soon a model's runs get native code by default: from the first run
// of new passes (on the loop; first_run_ms) to the first code the worker
// has ready (first_code_ms) and to the end of its compiles (all_code_ms),
// wall time, the runs after the first left out.
void BM_DenseCodeReady(benchmark::State& state) {
    dense_model& m = dense_of(static_cast<int>(state.range(0)));
    set_native_mode(nm_auto);
    sim_options o;
    sim_output out;
    using clock = std::chrono::steady_clock;
    auto ms = [](clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    double first_run = 0, first_code = 0, all_code = 0;
    long n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forget_kept_passes();
        native_wait_idle();
        state.ResumeTiming();
        const auto t0 = clock::now();
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
        first_run += ms(clock::now() - t0);
        while (native_live_passes() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        first_code += ms(clock::now() - t0);
        native_wait_idle();
        all_code += ms(clock::now() - t0);
        ++n;
    }
    const double d = static_cast<double>(std::max(n, 1L));
    state.counters["first_run_ms"] = first_run / d;
    state.counters["first_code_ms"] = first_code / d;
    state.counters["all_code_ms"] = all_code / d;
    forget_kept_passes();
}
BENCHMARK(BM_DenseCodeReady)
    ->ArgName("sectors")
    ->Arg(15)
    ->Arg(167)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The same models written directly in C++ (the yardstick of the runs above).
void BM_Direct(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    sectors_direct sectors(std::max(which, 1));
    for (auto _ : state) {
        float r = which == 0 ? scalar_model_direct() : sectors.run();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Direct)
    ->ArgNames({"model"})
    ->Arg(0)
    ->Arg(1)
    ->Arg(9)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

double cpu_us() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// The time loop's two roads between saves on tier 1 code, interleaved run by
// run (a busy machine slows both alike), with the same model as C++ (Euler):
// the plain Euler road and the general one (every per-step test made). With
// RK4 both are the general road (the yardstick stays the Euler C++).
void BM_StepRoads(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    built_model& m = model_of(which);
    sectors_direct sectors(std::max(which, 1));
    set_native_mode(nm_tier1);
    forget_kept_passes();
    sim_options o;
    o.method = static_cast<int>(state.range(1));
    sim_output out;
    run_program(m.b.symbols(), m.p, o, &out);
    double plain = 0, general = 0, direct = 0;
    long n = 0;
    for (auto _ : state) {
        // Each road first every other time: the one after C++ finds colder caches.
        for (bool road : {n % 2 == 0, n % 2 != 0}) {
            set_plain_steps(road);
            double t = cpu_us();
            int r = run_program(m.b.symbols(), m.p, o, &out);
            benchmark::DoNotOptimize(r);
            (road ? plain : general) += cpu_us() - t;
        }
        double t = cpu_us();
        float r = which == 0 ? scalar_model_direct() : sectors.run();
        benchmark::DoNotOptimize(r);
        direct += cpu_us() - t;
        ++n;
    }
    set_plain_steps(true);
    double d = static_cast<double>(std::max(n, 1L));
    state.counters["plain_us"] = plain / d;
    state.counters["general_us"] = general / d;
    state.counters["direct_us"] = direct / d;
    state.counters["plain_ratio"] = plain / std::max(direct, 1e-9);
    state.counters["general_ratio"] = general / std::max(direct, 1e-9);
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_StepRoads)
    ->ArgNames({"model", "method"})
    ->Args({0, im_euler})
    ->Args({1, im_euler})
    ->Args({9, im_euler})
    ->Args({0, im_rk4})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// The Euler update alone over n states (rates stored long before: no stall).
void BM_EulerUpdate(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    std::vector<float> v(n, 1.0f), r(n, 1e-7f);
    for (auto _ : state) {
        bool bad = euler_update(v.data(), r.data(), n, 0.5f);
        benchmark::DoNotOptimize(bad);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EulerUpdate)->Arg(10)->Arg(40)->Arg(150)->Arg(1000);

// Subscripted models on each road: 0 the 100 x 100 stock ring of
// bench_sim_interp (1,000 steps), 1 the same ring of 100 stocks over 7 cells
// (fewer lanes than a vector), 2 over 300 cells (more than a chunk) and 3
// the 100 x 100 ring whose flows also read a value below NA in one cell
// (every chunk of every flow goes to the chunk loops).
struct ring_model {
    model_builder b{"ring"};
    sim_program p;
    explicit ring_model(int cells, bool low = false) {
        init_vocabulary();
        b.control(0, 1000, 1, 1000);
        if (low) {
            std::vector<std::string> names;
            for (int i = 0; i < cells; ++i) names.push_back("cell " + num(i));
            std::vector<const char*> ptrs;
            for (auto& n : names) ptrs.push_back(n.c_str());
            b.range("cells", ptrs);
            std::vector<float> lows(static_cast<std::size_t>(cells), 0);
            lows[7] = -1e34f;
            b.constant_list("low[cells]", lows);
            for (int v = 0; v < 100; ++v) {
                std::string me = "stock " + num(v) + "[cells]", flow = "flow " + num(v) + "[cells]";
                b.level(me.c_str(), flow.c_str(), "1");
                b.aux(flow.c_str(), ("(stock " + num((v + 1) % 100) + "[cells] - " + me +
                                     ") * rate + MAX(low[cells], 0)")
                                        .c_str());
            }
            b.constant("rate", 0.01f);
        } else if (cells == 100) {
            add_stock_ring(b);
        } else {
            std::vector<std::string> names;
            for (int i = 0; i < cells; ++i) names.push_back("cell " + num(i));
            std::vector<const char*> ptrs;
            for (auto& n : names) ptrs.push_back(n.c_str());
            b.range("cells", ptrs);
            for (int v = 0; v < 100; ++v) {
                std::string me = "stock " + num(v) + "[cells]", flow = "flow " + num(v) + "[cells]";
                b.level(me.c_str(), flow.c_str(), "1");
                b.aux(flow.c_str(),
                      ("(stock " + num((v + 1) % 100) + "[cells] - " + me + ") * rate").c_str());
            }
            b.constant("rate", 0.01f);
        }
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

void BM_WideRuns(benchmark::State& state) {
    static ring_model hundred(100), seven(7), many(300), low(100, true);
    const int which = static_cast<int>(state.range(0));
    ring_model& m = which == 0 ? hundred : which == 1 ? seven : which == 2 ? many : low;
    time_runs(state, m.b, m.p);
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_WideRuns)
    ->ArgNames({"model", "native"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

// A compile and the first run of the 100 x 100 ring (the passes built anew).
void BM_WideCompileAndFirstRun(benchmark::State& state) {
    static ring_model m(100);
    set_native_mode(static_cast<int>(state.range(0)));
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        forget_kept_passes();
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_WideCompileAndFirstRun)
    ->ArgNames({"native"})
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1);

void BM_WideDirect(benchmark::State& state) {
    stock_ring_direct ring;
    volatile float rate = 0.01f;
    for (auto _ : state) benchmark::DoNotOptimize(ring.run(rate));
}
BENCHMARK(BM_WideDirect)->Unit(benchmark::kMillisecond)->MinTime(1);

// A compile and the first run (the passes built anew each time), in wall
// time (the compile uses several threads: the time a user waits); threads 1
// compiles each pass on one thread. By default (native 3) the first run
// starts on the loop and takes the worker's code part way through.
void BM_CompileAndFirstRun(benchmark::State& state) {
    built_model& m = model_of(static_cast<int>(state.range(0)));
    set_native_mode(static_cast<int>(state.range(1))); // nm_off, nm_tier0, nm_tier1
    set_native_compile_threads(static_cast<int>(state.range(2)));
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        state.PauseTiming();
        forget_kept_passes();
        native_wait_idle(); // no compile of the last run left on the worker
        state.ResumeTiming();
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
    set_native_compile_threads(0);
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_CompileAndFirstRun)
    ->ArgNames({"model", "native", "threads"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({0, 3, 0})
    ->Args({1, 0, 0})
    ->Args({1, 1, 1})
    ->Args({1, 1, 0})
    ->Args({1, 2, 1})
    ->Args({1, 2, 0})
    ->Args({9, 0, 0})
    ->Args({9, 1, 1})
    ->Args({9, 1, 0})
    ->Args({9, 2, 1})
    ->Args({9, 2, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1);

double resident_kb() {
    std::ifstream f("/proc/self/statm");
    double pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * 4;
}

double status_kb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(f, line))
        if (line.compare(0, n, field) == 0) return std::atof(line.c_str() + n + 1);
    return 0;
}

// The memory a simulation of the large sample (the 100 x 100 stock ring,
// 20,000 values, 101 saves) holds, on the road of the argument (0 the flat
// loop, 3 the default, the worker's compiles waited for), its run file
// written as the viewer writes it. Counters in MB: the resident size before
// the run, after it (and its compiles), the peak over it, and after the
// engine has dropped what it keeps for the model. The peak is the process's:
// run one argument per process (--benchmark_filter=BM_LargeModelMemory/native:3).
void BM_LargeModelMemory(benchmark::State& state) {
    set_native_mode(static_cast<int>(state.range(0)));
    static ring_model* m = new ring_model(100);
    char dir[] = "/tmp/bench_memory_XXXXXX";
    const std::string run = std::string(mkdtemp(dir)) + "/large.kdf";
    sim_options o;
    o.run_file = run.c_str();
    double before = 0, after = 0, after_anon = 0, after_file = 0, peak = 0, released = 0;
    for (auto _ : state) {
        state.PauseTiming();
        before = resident_kb();
        state.ResumeTiming();
        int r = simulate_model(m->b.symbols(), o, nullptr);
        benchmark::DoNotOptimize(r);
        native_wait_idle();
        state.PauseTiming();
        after = resident_kb();
        after_anon = status_kb("RssAnon:");
        after_file = status_kb("RssFile:");
        peak = status_kb("VmHWM:");
        release_run_storage();
        forget_kept_passes();
        native_wait_idle();
        released = resident_kb();
        state.ResumeTiming();
    }
    std::remove(run.c_str());
    std::remove(dir);
    state.counters["before_mb"] = before / 1024;
    state.counters["after_mb"] = after / 1024;
    state.counters["peak_mb"] = peak / 1024;
    state.counters["after_anon_mb"] = after_anon / 1024; // the heaps and the code
    state.counters["after_file_mb"] = after_file / 1024; // the libraries' pages read
    state.counters["released_mb"] = released / 1024;
    set_native_mode(nm_auto);
}
BENCHMARK(BM_LargeModelMemory)
    ->ArgName("native")
    ->Arg(0)
    ->Arg(3)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Open, compile, run and close the same model again and again: the resident
// size should not grow with the cycles. The chain (model 0) has compiled
// steps besides its passes.
void BM_CompileCycles(benchmark::State& state) {
    built_model& m = model_of(static_cast<int>(state.range(0)));
    set_native_mode(nm_tier1);
    sim_options o;
    sim_output out;
    auto cycle = [&] {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
        forget_kept_passes();
    };
    for (int k = 0; k < 50; ++k) cycle(); // the JIT's own first allocations
    double before = resident_kb();
    long cycles = 0;
    for (auto _ : state) {
        cycle();
        ++cycles;
    }
    state.counters["cycles"] = static_cast<double>(cycles);
    state.counters["growth_kb"] = resident_kb() - before;
    set_native_mode(nm_auto);
}
BENCHMARK(BM_CompileCycles)
    ->ArgName("model")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);

} // namespace
