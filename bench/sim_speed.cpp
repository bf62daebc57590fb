// The engine against the same equations written directly in C++, timed
// interleaved in one process (each iteration runs every contender once, so a
// busy machine slows them alike):
// - a scalar model of the size of the large published world models (150
//   levels, 300 auxiliaries, 325 constants, 30 lookups, 10 smoothing and
//   delay functions) for 400 Euler steps, against C++ computing in double
//   with values stored as floats (what the engine does) and in float;
// - the 50-variable scalar model of bench_sim_interp;
// - a denser model of that size (several operands in each auxiliary, a lookup
//   in one of ten, every step saved) at 5, 15 and 45 sectors;
// - random worlds whose sectors differ (tests/support/random_world.h) at 5,
//   15, 45 and 135 sectors, several seeds each, against their C++ generated
//   from the same seed at build time;
// - a model of 1,000-element arrays (SUM and VMAX over them, a lookup and a
//   SMOOTH3 per element; tests/support/array_world.h) against its hand-written
//   C++, on each road;
// - a Livesweep re-run: 25 stocks and 25 flows over 100 cells (5,000
//   values) with a lookup and a MIN per element, 400 steps, every step saved.
// The counters give the mean microseconds of one run of each and the ratios.
#include <benchmark/benchmark.h>

#include "bench/dense_model.h"
#include "bench/direct_models.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
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
#include "sim/native/object_cache.h"
#include "sim/run.h"
#include "sim/simdata.h"
#include "tests/support/array_world.h"
#include "tests/support/model_builder.h"
#include "tests/support/random_world.h"

namespace {

using clock_type = std::chrono::steady_clock;

template <typename F> double time_us(F&& f) {
    auto t0 = clock_type::now();
    f();
    return std::chrono::duration<double, std::micro>(clock_type::now() - t0).count();
}

std::string num(int i) {
    return std::to_string(i);
}

// ------------------------------------------------------------ world size ---

constexpr int levels = 150, lookups = 30, smooths = 10, misc = 25;
constexpr float w_start = 0, w_end = 200, w_step = 0.5f, w_save = 1;

float k_of(int i) {
    return 0.02f + 0.0001f * static_cast<float>(i);
}
float t_of(int i) {
    return 50.0f + static_cast<float>(i);
}
float g_of(int j) {
    return 3.0f + static_cast<float>(j);
}
std::vector<std::pair<float, float>> table_of(int j) {
    return {{0, 0.5f + 0.01f * static_cast<float>(j)},
            {0.5f, 0.8f},
            {1, 1},
            {1.5f, 1.15f},
            {2, 1.25f},
            {3, 1.3f}};
}

// Each level i has a ratio x_i = L_i / t_i and an inflow f_i of one of five
// shapes (a lookup of the ratio, a smoothed or delayed flow, MIN, IF THEN
// ELSE, MAX); its rate is f_i - L_i k_i x_i, so every level settles near t_i.
struct world_model {
    model_builder b{"world size"};
    sim_program p;
    // sectors copies of the model side by side (names of sector k > 0 begin
    // with "s<k> "), over steps Euler steps of w_step.
    explicit world_model(int sectors = 1, long steps = 0) {
        init_vocabulary();
        float end = steps ? w_start + w_step * static_cast<float>(steps) : w_end;
        b.control(w_start, end, w_step, w_save);
        for (int k = 0; k < sectors; ++k) add_sector(k ? "s" + num(k) + " " : std::string());
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
    void add_sector(const std::string& s) {
        auto name = [&](const std::string& n) { return s + n; };
        for (int i = 0; i < levels; ++i) {
            b.constant(name("k" + num(i)).c_str(), k_of(i));
            b.constant(name("t" + num(i)).c_str(), t_of(i));
        }
        for (int j = 0; j < misc; ++j) b.constant(name("g" + num(j)).c_str(), g_of(j));
        for (int j = 0; j < lookups; ++j) b.lookup(name("tbl" + num(j)).c_str(), table_of(j));
        for (int i = 0; i < levels; ++i) {
            std::string n = num(i), n1 = num((i + 1) % levels), n2 = num((i + 2) % levels);
            std::string L = s + "L", x = s + "x", f = s + "f", k = s + "k", t = s + "t";
            b.level((L + n).c_str(),
                    (f + n + " - " + L + n + " * " + k + n + " * " + x + n).c_str(),
                    (t + n + " * 0.8").c_str());
            b.aux((x + n).c_str(), (L + n + " / " + t + n).c_str());
            std::string e;
            if (i < lookups)
                e = k + n + " * " + L + n1 + " * " + s + "tbl" + n + "(" + x + n + ")";
            else if (i < lookups + smooths)
                e = k + n + " * " + s + "s" + num(i - lookups);
            else if (i % 3 == 0)
                e = k + n + " * MIN(" + L + n1 + ", " + t + n + ")";
            else if (i % 3 == 1)
                e = k + n + " * IF THEN ELSE(" + x + n + " > 1, " + L + n1 + " * 0.9, " + L + n1 +
                    ")";
            else
                e = k + n + " * (" + L + n1 + " + " + L + n2 + ") * 0.5 * MAX(1 - " + x + n +
                    ", 0.2)";
            b.aux((f + n).c_str(), e.c_str());
        }
        const char* fns[4] = {"SMOOTH", "SMOOTH3", "DELAY1", "DELAY3"};
        for (int j = 0; j < smooths; ++j) {
            std::string e = std::string(fns[j % 4]) + "(" + s + "f" + num(40 + j) + ", " + s + "g" +
                            num(j) + ")";
            b.aux((s + "s" + num(j)).c_str(), e.c_str());
        }
    }
};

double lookup_at(const std::vector<std::pair<float, float>>& t, double x) {
    if (x <= t.front().first) return t.front().second;
    if (x >= t.back().first) return t.back().second;
    std::size_t k = 1;
    while (t[k].first < x) ++k;
    double x0 = t[k - 1].first, x1 = t[k].first, y0 = t[k - 1].second, y1 = t[k].second;
    return y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

// The world-size model written out; R is the type the equations compute in.
template <typename R> struct world_direct {
    std::vector<float> k, t, g, L, x, f, s, rows;
    std::vector<std::vector<std::pair<float, float>>> tables;
    std::vector<std::vector<float>> states, rates; // hidden states of s_j
    static constexpr int stages[4] = {1, 3, 1, 3};
    world_direct() {
        for (int i = 0; i < levels; ++i) {
            k.push_back(k_of(i));
            t.push_back(t_of(i));
        }
        for (int j = 0; j < misc; ++j) g.push_back(g_of(j));
        for (int j = 0; j < lookups; ++j) tables.push_back(table_of(j));
        L.resize(levels);
        x.resize(levels);
        f.resize(levels);
        s.resize(smooths);
        states.resize(smooths);
        rates.resize(smooths);
        for (int j = 0; j < smooths; ++j) {
            states[static_cast<std::size_t>(j)].resize(stages[j % 4]);
            rates[static_cast<std::size_t>(j)].resize(stages[j % 4]);
        }
    }
    float lv(int i) const { return L[static_cast<std::size_t>(i % levels)]; }
    // The smoothing outputs from their states (delays divide by the stage time).
    void outputs() {
        for (int j = 0; j < smooths; ++j) {
            auto& st = states[static_cast<std::size_t>(j)];
            R d = g[static_cast<std::size_t>(j)];
            R per = static_cast<R>(st.size());
            s[static_cast<std::size_t>(j)] =
                static_cast<float>(j % 4 >= 2 ? st.back() / (d / per) : R(st.back()));
        }
    }
    void auxiliaries() {
        for (int i = 0; i < levels; ++i) {
            auto u = static_cast<std::size_t>(i);
            x[u] = static_cast<float>(R(L[u]) / t[u]);
        }
        for (int i = 0; i < levels; ++i) {
            auto u = static_cast<std::size_t>(i);
            R kk = k[u], xi = x[u], l1 = lv(i + 1);
            R r;
            if (i < lookups)
                r = kk * l1 * static_cast<R>(lookup_at(tables[u], xi));
            else if (i < lookups + smooths)
                r = kk * R(s[u - lookups]);
            else if (i % 3 == 0)
                r = kk * std::min(l1, R(t[u]));
            else if (i % 3 == 1)
                r = kk * (xi > 1 ? l1 * R(0.9) : l1);
            else
                r = kk * (l1 + R(lv(i + 2))) * R(0.5) * std::max(1 - xi, R(0.2));
            f[u] = static_cast<float>(r);
        }
    }
    void initialise() {
        for (int i = 0; i < levels; ++i)
            L[static_cast<std::size_t>(i)] =
                static_cast<float>(R(t[static_cast<std::size_t>(i)]) * R(0.8));
        auxiliaries(); // f40.. do not read the smoothing outputs
        for (int j = 0; j < smooths; ++j) {
            auto& st = states[static_cast<std::size_t>(j)];
            R in = f[static_cast<std::size_t>(40 + j)], d = g[static_cast<std::size_t>(j)];
            R per = static_cast<R>(st.size());
            for (float& v : st) v = static_cast<float>(j % 4 >= 2 ? in * d / per : in);
        }
    }
    void state_rates() {
        for (int j = 0; j < smooths; ++j) {
            auto& st = states[static_cast<std::size_t>(j)];
            auto& rt = rates[static_cast<std::size_t>(j)];
            R in = f[static_cast<std::size_t>(40 + j)], d = g[static_cast<std::size_t>(j)];
            R per = static_cast<R>(st.size()), stage = d / per, prev = in;
            for (std::size_t q = 0; q < st.size(); ++q) {
                if (j % 4 >= 2) {
                    R out = st[q] / stage;
                    rt[q] = static_cast<float>(prev - out);
                    prev = out;
                } else {
                    rt[q] = static_cast<float>((prev - st[q]) / stage);
                    prev = st[q];
                }
            }
        }
    }
    void run() {
        rows.clear();
        initialise();
        long steps = std::lround((w_end - w_start) / w_step);
        long every = std::lround(w_save / w_step);
        float h = w_step;
        for (long n = 0;; ++n) {
            outputs();
            auxiliaries();
            state_rates();
            if (n % every == 0) {
                rows.insert(rows.end(), L.begin(), L.end());
                rows.insert(rows.end(), x.begin(), x.end());
                rows.insert(rows.end(), f.begin(), f.end());
                rows.insert(rows.end(), s.begin(), s.end());
            }
            if (n == steps) break;
            for (int i = 0; i < levels; ++i) {
                auto u = static_cast<std::size_t>(i);
                float rate = static_cast<float>(R(f[u]) - R(L[u]) * R(k[u]) * R(x[u]));
                L[u] += h * rate;
            }
            for (int j = 0; j < smooths; ++j)
                for (std::size_t q = 0; q < states[static_cast<std::size_t>(j)].size(); ++q)
                    states[static_cast<std::size_t>(j)][q] +=
                        h * rates[static_cast<std::size_t>(j)][q];
        }
    }
};

// Runs the engine and the C++ contenders in turn; counters in microseconds.
template <typename Engine, typename... Direct>
void interleave(benchmark::State& state, Engine&& engine, Direct&&... direct) {
    constexpr std::size_t nd = sizeof...(Direct);
    double te = 0, td[nd] = {};
    long n = 0;
    for (auto _ : state) {
        te += time_us(engine);
        std::size_t k = 0;
        ((td[k++] += time_us(direct)), ...);
        ++n;
    }
    double d = static_cast<double>(std::max(n, 1L));
    state.counters["engine_us"] = te / d;
    const char* names[3] = {"direct_us", "direct_float_us", "direct3_us"};
    const char* ratios[3] = {"ratio", "ratio_float", "ratio3"};
    for (std::size_t k = 0; k < nd && k < 3; ++k) {
        state.counters[names[k]] = td[k] / d;
        state.counters[ratios[k]] = te / std::max(td[k], 1e-9);
    }
}

void BM_WorldSize(benchmark::State& state) {
    static world_model m;
    static world_direct<double> dd;
    static world_direct<float> df;
    sim_options o;
    sim_output out;
    interleave(
        state,
        [&] {
            int r = run_program(m.b.symbols(), m.p, o, &out);
            benchmark::DoNotOptimize(r);
        },
        [&] {
            dd.run();
            benchmark::DoNotOptimize(dd.rows.data());
        },
        [&] {
            df.run();
            benchmark::DoNotOptimize(df.rows.data());
        });
    // The engine and the C++ agree: the largest relative difference of a level at the end.
    double diff = 0;
    std::size_t last = out.times.size() - 1;
    for (int i = 0; i < levels; ++i) {
        std::int32_t slot = get_symbol(m.b.symbols(), m.b.id(("L" + num(i)).c_str())).slot;
        double e = out.rows[last * out.value_slots + static_cast<std::size_t>(slot)];
        double c = dd.L[static_cast<std::size_t>(i)];
        diff = std::max(diff, std::fabs(e - c) / std::max(1.0, std::fabs(c)));
    }
    state.counters["max_rel_diff"] = diff;
    state.counters["saves"] = static_cast<double>(out.times.size());
}
BENCHMARK(BM_WorldSize)->Unit(benchmark::kMillisecond)->MinTime(2);

// ------------------------------------------------------ dense world size ---

// Counters as BM_WorldSize's (engine_us, direct_us, ratio, max_rel_diff).
void BM_DenseWorld(benchmark::State& state) {
    const int sectors = static_cast<int>(state.range(0));
    static std::map<int, std::unique_ptr<dense_model>> models;
    auto& m = models[sectors];
    if (!m) m = std::make_unique<dense_model>(sectors);
    dense_direct dd(sectors);
    sim_options o;
    sim_output out;
    interleave(
        state,
        [&] {
            int r = run_program(m->b.symbols(), m->p, o, &out);
            benchmark::DoNotOptimize(r);
        },
        [&] {
            dd.run();
            benchmark::DoNotOptimize(dd.rows.data());
        });
    double diff = 0;
    const std::size_t last = out.times.size() - 1;
    for (int g = 0; g < m->n; ++g) {
        std::int32_t slot = get_symbol(m->b.symbols(), m->b.id(("L" + num(g)).c_str())).slot;
        double e = out.rows[last * out.value_slots + static_cast<std::size_t>(slot)];
        double c = dd.L[static_cast<std::size_t>(g)];
        diff = std::max(diff, std::fabs(e - c) / std::max(1.0, std::fabs(c)));
    }
    state.counters["max_rel_diff"] = diff;
    state.counters["saves"] = static_cast<double>(out.times.size());
    state.counters["value_slots"] = m->p.value_slots;
}
BENCHMARK(BM_DenseWorld)
    ->ArgName("sectors")
    ->Arg(5)
    ->Arg(15)
    ->Arg(45)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// ---------------------------------------------------------- random worlds ---

// The engine against the C++ of one random world (BM_RandomWorld/sectors/seed),
// each timed per iteration in turn, after two runs of the engine and the
// worker's compiles (the code a model gets after its first second or so).
// Counters as BM_WorldSize's, with differing_values the saved values of the
// last run that are not the C++'s to the bit (0 expected). The ratios of a
// size are kept for BM_RandomWorldSummary/sectors, which prints their least
// (ratio_min), median (ratio_median) and greatest (ratio_max) over the seeds.
std::map<int, std::map<std::uint64_t, double>>& random_world_ratios() {
    static std::map<int, std::map<std::uint64_t, double>> ratios;
    return ratios;
}

void BM_RandomWorld(benchmark::State& state) {
    const int sectors = static_cast<int>(state.range(0));
    const auto seed = static_cast<std::uint64_t>(state.range(1));
    const random_world_cpp* cpp = nullptr;
    for (const random_world_cpp& e : random_world_cpps())
        if (e.seed == seed && e.sectors == sectors) cpp = &e;
    if (!cpp) {
        state.SkipWithError("no C++ of this world (KAVREL_WORLD_SEEDS, KAVREL_WORLD_SIZES)");
        return;
    }
    init_vocabulary();
    model_builder b("random world");
    random_world w = build_random_world(b, seed, sectors, "");
    b.finish();
    check_model(b.symbols());
    sim_program p;
    generate_code(b.symbols(), p);
    order_program(b.symbols(), p);
    forget_kept_passes();
    sim_options o;
    sim_output out;
    for (int k = 0; k < 2; ++k) {
        run_program(b.symbols(), p, o, &out);
        native_wait_idle();
    }
    std::vector<float> rows;
    const std::size_t handed = native_handovers(), calls = native_engine_calls(),
                      misses = native_bound_misses();
    interleave(
        state,
        [&] {
            int r = run_program(b.symbols(), p, o, &out);
            benchmark::DoNotOptimize(r);
        },
        [&] {
            cpp->run(rows);
            benchmark::DoNotOptimize(rows.data());
        });
    const std::size_t n = w.saved.size();
    double differ = out.times.size() * n == rows.size() ? 0 : static_cast<double>(rows.size());
    for (std::size_t k = 0; k < n && differ == 0; ++k) {
        const std::size_t slot =
            static_cast<std::size_t>(get_symbol(b.symbols(), b.id(w.saved[k].c_str())).slot);
        for (std::size_t s = 0; s < out.times.size(); ++s) {
            float e = out.rows[s * out.value_slots + slot], c = rows[s * n + k];
            differ += std::memcmp(&e, &c, 4) != 0;
        }
    }
    state.counters["differing_values"] = differ;
    state.counters["native_passes"] = static_cast<double>(native_live_passes());
    // Per run: parts handed to the loop, calls of the engine, binding misses.
    const double runs = static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
    state.counters["handovers"] = static_cast<double>(native_handovers() - handed) / runs;
    state.counters["engine_calls"] = static_cast<double>(native_engine_calls() - calls) / runs;
    state.counters["bound_misses"] = static_cast<double>(native_bound_misses() - misses) / runs;
    random_world_ratios()[sectors][seed] = state.counters["ratio"];
    forget_kept_passes();
}

void BM_RandomWorldSummary(benchmark::State& state) {
    for (auto _ : state) {
    }
    std::vector<double> r;
    for (const auto& [seed, ratio] : random_world_ratios()[static_cast<int>(state.range(0))])
        r.push_back(ratio);
    if (r.empty()) return;
    std::sort(r.begin(), r.end());
    const std::size_t m = r.size() / 2;
    state.counters["seeds"] = static_cast<double>(r.size());
    state.counters["ratio_min"] = r.front();
    state.counters["ratio_median"] = r.size() % 2 ? r[m] : (r[m - 1] + r[m]) / 2;
    state.counters["ratio_max"] = r.back();
}

// A fixed count of iterations a size (about a second of the engine's time
// each), so the model is built and compiled once.
template <int sectors, int iterations> void random_world_args(benchmark::internal::Benchmark* b) {
    b->ArgNames({"sectors", "seed"});
    for (int seed = 1; seed <= 5; ++seed) b->Args({sectors, seed});
    b->Iterations(iterations)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_RandomWorld)->Apply(random_world_args<5, 2000>);
BENCHMARK(BM_RandomWorld)->Apply(random_world_args<15, 600>);
BENCHMARK(BM_RandomWorld)->Apply(random_world_args<45, 200>);
BENCHMARK(BM_RandomWorld)->Apply(random_world_args<135, 60>);
BENCHMARK(BM_RandomWorldSummary)
    ->ArgName("sectors")
    ->Arg(5)
    ->Arg(15)
    ->Arg(45)
    ->Arg(135)
    ->Iterations(1);

// ------------------------------------------------------------ array world ---

// The array model against its hand-written C++ (BM_ArrayWorld/road), each
// timed per iteration in turn, after two runs of the engine and the worker's
// compiles. road: 0 the flat loop alone, 2 every pass at tier 1 before its
// first run, 3 the default (the worker's code). Counters as BM_RandomWorld's.
void BM_ArrayWorld(benchmark::State& state) {
    constexpr int cells = 1000;
    const int road = static_cast<int>(state.range(0));
    init_vocabulary();
    model_builder b("arrays");
    array_world w = build_array_world(b, cells);
    b.finish();
    check_model(b.symbols());
    sim_program p;
    generate_code(b.symbols(), p);
    order_program(b.symbols(), p);
    set_native_mode(road == 3 ? nm_environment : road);
    forget_kept_passes();
    sim_options o;
    sim_output out;
    for (int k = 0; k < 2; ++k) {
        run_program(b.symbols(), p, o, &out);
        native_wait_idle();
    }
    std::vector<float> rows;
    const std::size_t handed = native_handovers(), calls = native_engine_calls();
    interleave(
        state,
        [&] {
            int r = run_program(b.symbols(), p, o, &out);
            benchmark::DoNotOptimize(r);
        },
        [&] {
            array_world_cpp(cells, rows);
            benchmark::DoNotOptimize(rows.data());
        });
    const std::vector<std::size_t> slots = w.slots(b);
    const std::size_t n = slots.size();
    double differ = out.times.size() * n == rows.size() ? 0 : static_cast<double>(rows.size());
    for (std::size_t s = 0; s < out.times.size() && differ == 0; ++s)
        for (std::size_t k = 0; k < n; ++k) {
            float e = out.rows[s * out.value_slots + slots[k]], c = rows[s * n + k];
            differ += std::memcmp(&e, &c, 4) != 0;
        }
    state.counters["differing_values"] = differ;
    const double runs = static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
    state.counters["handovers"] = static_cast<double>(native_handovers() - handed) / runs;
    state.counters["engine_calls"] = static_cast<double>(native_engine_calls() - calls) / runs;
    set_native_mode(nm_environment);
    forget_kept_passes();
}
BENCHMARK(BM_ArrayWorld)
    ->ArgName("road")
    ->Arg(0)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// ----------------------------------------------------------- 50 variables ---

struct scalar_model {
    model_builder b{"scalar"};
    sim_program p;
    scalar_model() {
        init_vocabulary();
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
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

void scalar_direct() {
    benchmark::DoNotOptimize(scalar_model_direct());
}

void BM_ScalarFifty(benchmark::State& state) {
    static scalar_model m;
    sim_options o;
    sim_output out;
    interleave(
        state,
        [&] {
            int r = run_program(m.b.symbols(), m.p, o, &out);
            benchmark::DoNotOptimize(r);
        },
        scalar_direct);
}
BENCHMARK(BM_ScalarFifty)->Unit(benchmark::kMillisecond)->MinTime(2);

// ------------------------------------------------------ world size, sectors ---

// Many sectors of the world-size model over many steps, run again and again
// as a Livesweep or sensitivity session would: the time per step should not
// grow with the steps. With an output (the caller keeps the rows) and without
// (the run of the current model, which writes its file and keeps nothing).
// Counters: ms per run, microseconds per step, minor page faults per run.
long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

void world_sectors(benchmark::State& state, bool with_output) {
    const int sectors = static_cast<int>(state.range(0));
    const long steps = state.range(1);
    static std::map<std::pair<int, long>, std::unique_ptr<world_model>> models;
    static std::map<std::pair<int, long>, sim_output> outputs;
    auto& m = models[{sectors, steps}];
    if (!m) m = std::make_unique<world_model>(sectors, steps);
    sim_options o;
    sim_output& out = outputs[{sectors, steps}];
    long faults = 0, runs = 0;
    double us = 0;
    for (auto _ : state) {
        long before = minor_faults();
        us += time_us([&] {
            int r = run_program(m->b.symbols(), m->p, o, with_output ? &out : nullptr);
            benchmark::DoNotOptimize(r);
        });
        faults += minor_faults() - before;
        ++runs;
    }
    state.counters["us_per_step"] = us / static_cast<double>(std::max(runs, 1L) * steps);
    state.counters["faults_per_run"] =
        static_cast<double>(faults) / static_cast<double>(std::max(runs, 1L));
    state.counters["value_slots"] = m->p.value_slots;
}
void BM_WorldSectors(benchmark::State& state) {
    world_sectors(state, true);
}
void BM_WorldSectorsNoOutput(benchmark::State& state) {
    world_sectors(state, false);
}
BENCHMARK(BM_WorldSectors)
    ->Args({45, 400})
    ->Args({45, 4000})
    ->Args({135, 400})
    ->Args({135, 4000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(BM_WorldSectorsNoOutput)
    ->Args({45, 400})
    ->Args({45, 4000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

// ------------------------------------------------------ MIN over elements ---

// 20 levels over 1,000 cells, each with MIN and MAX of two of them per
// element and VMIN and VMAX over the cells, 100 Euler steps, on the flat loop
// (the NaN rule of MIN and MAX costs the loops there, not in native code).
struct minmax_model {
    model_builder b{"min max"};
    sim_program p;
    minmax_model() {
        init_vocabulary();
        b.control(0, 100, 1, 100);
        std::vector<std::string> names;
        for (int i = 0; i < 1000; ++i) names.push_back("c" + num(i));
        std::vector<const char*> ptrs;
        for (auto& n : names) ptrs.push_back(n.c_str());
        b.range("cells", ptrs);
        std::vector<float> start;
        for (int i = 0; i < 1000; ++i) start.push_back(static_cast<float>((i * 7919) % 1000));
        b.constant_list("start[cells]", start);
        for (int v = 0; v < 20; ++v) {
            const std::string L = "L" + num(v), o = "L" + num((v + 1) % 20);
            b.level((L + "[cells]").c_str(), ("f" + num(v) + "[cells]").c_str(), "start[cells]");
            b.aux(("lo" + num(v)).c_str(), ("VMIN(" + L + "[cells!])").c_str());
            b.aux(("hi" + num(v)).c_str(), ("VMAX(" + L + "[cells!])").c_str());
            b.aux(("f" + num(v) + "[cells]").c_str(),
                  ("(MIN(" + L + "[cells], " + o + "[cells]) - lo" + num(v) + ") * 0.001 - (MAX(" +
                   L + "[cells], " + o + "[cells]) - hi" + num(v) + ") * 0.001")
                      .c_str());
        }
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

void BM_MinMaxElementsLoop(benchmark::State& state) {
    static minmax_model m;
    set_native_mode(nm_off);
    forget_kept_passes();
    sim_options o;
    sim_output out;
    run_program(m.b.symbols(), m.p, o, &out);
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
    set_native_mode(nm_auto);
    forget_kept_passes();
}
BENCHMARK(BM_MinMaxElementsLoop)->Unit(benchmark::kMillisecond)->MinTime(1);

// -------------------------------------------------------------- Livesweep ---

constexpr int sweep_stocks = 25, sweep_cells = 100;

struct sweep_model {
    model_builder b{"sweep"};
    sim_program p;
    sweep_model() {
        init_vocabulary();
        b.control(0, 100, 0.25f, 0.25f);
        std::vector<std::string> names;
        for (int i = 0; i < sweep_cells; ++i) names.push_back("cell " + num(i));
        std::vector<const char*> ptrs;
        for (auto& n : names) ptrs.push_back(n.c_str());
        b.range("cells", ptrs);
        b.lookup("effect", {{0, 0}, {0.5f, 0.4f}, {1, 1}, {2, 1.5f}, {4, 1.8f}});
        b.constant("scale", 0.01f);
        b.constant("limit", 2);
        b.constant("rate", 0.05f);
        for (int v = 0; v < sweep_stocks; ++v) {
            std::string me = "stock " + num(v) + "[cells]";
            std::string next = "stock " + num((v + 1) % sweep_stocks) + "[cells]";
            std::string flow = "flow " + num(v) + "[cells]";
            b.level(me.c_str(), flow.c_str(), "100");
            std::string e = "MIN(effect(" + next + " * scale), limit) - " + me + " * rate";
            b.aux(flow.c_str(), e.c_str());
        }
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

// The cache's part of a save when a few variables are shown.
float shown_values[8];
void sweep_save(const float* values, std::uint32_t, int) {
    for (int i = 0; i < 8; ++i) shown_values[i] = values[1 + 613 * i];
}

void BM_LivesweepRerun(benchmark::State& state) {
    static sweep_model m;
    sim_options o;
    sim_output out;
    run_kind = rk_livesweep;
    set_livesweep_save_hook(&sweep_save);
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
    set_livesweep_save_hook(nullptr);
    run_kind = rk_ordinary;
    state.counters["saves"] = static_cast<double>(out.times.size());
}
BENCHMARK(BM_LivesweepRerun)->Unit(benchmark::kMillisecond)->MinTime(2);

// Entering Livesweep on a large model (seed 0: the dense model, else the
// random world of that seed): its passes forgotten, it re-runs without pause
// as a slider dragged from the first moment would, for up to window s while the
// worker compiles. settled_ms is a re-run once every compile is done (least
// of three); tier1_s the time from entering to the end of the first re-run
// within 10% of it; first_ms the first re-run (the flat loop); reruns how
// many re-runs came before that one. With after (ms), the model is first
// simulated once as the viewer does it (an ordinary run, tier 1 when hot)
// and Livesweep entered that long after the run began. window (s) is how
// long the re-runs go on (a loaded machine's compiles of the random world
// outlast 6 s). With cache:1 the compiled code is kept on disk, in a folder
// of the benchmark's own, and that folder filled before the iteration by
// the same steps unmeasured: the iteration starts with nothing compiled in
// memory, as a viewer that opens the model again in a new session does
// (cache_mb the folder's size, found and missed the modules the
// iteration's compiles found there or compiled). cache:0 leaves the cache as
// the environment sets it (off in the benchmarks unless
// KAVREL_NATIVE_CACHE names a folder: two processes given one folder
// measure the second warm).
struct latency_model {
    model_builder b{"latency"};
    sim_program p;
    latency_model(int sectors, int seed) {
        init_vocabulary();
        if (seed == 0) {
            dense = std::make_unique<dense_model>(sectors);
            return;
        }
        build_random_world(b, static_cast<std::uint64_t>(seed), sectors, "");
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
    std::unique_ptr<dense_model> dense;
    auto symbols() { return dense ? dense->b.symbols() : b.symbols(); }
    sim_program& program() { return dense ? dense->p : p; }
};

void BM_LivesweepLatency(benchmark::State& state) {
    const int sectors = static_cast<int>(state.range(0)), seed = static_cast<int>(state.range(1));
    // live:1 is Livesweep as the program enters it (compiles on every core
    // but one), live:0 the worker as an ordinary run has it.
    const bool live = state.range(2) != 0;
    const auto after = std::chrono::milliseconds(state.range(3));
    const double window_ms = 1000.0 * static_cast<double>(state.range(4));
    set_native_live(live && after.count() == 0);
    set_native_tier1_when_hot(after.count() > 0);
    static std::map<std::pair<int, int>, std::unique_ptr<latency_model>> models;
    auto& m = models[{sectors, seed}];
    if (!m) m = std::make_unique<latency_model>(sectors, seed);
    const bool warm = state.range(5) != 0;
    sim_options o;
    sim_output out;
    double tier1_s = 0, first_ms = 0, settled_ms = 0, reruns = 0;
    std::string folder;
    if (warm) {
        std::string pattern = "/tmp/kavrel-bench-cache-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            state.SkipWithError("no temporary folder");
            return;
        }
        folder = pattern;
        set_native_cache_folder(folder);
    }
    run_kind = rk_livesweep;
    if (warm) {
        // The passes compiled at every tier, unmeasured, fill the folder.
        forget_kept_passes();
        native_wait_idle();
        set_native_live(true);
        for (int k = 0; k < 3; ++k) run_program(m->symbols(), m->program(), o, &out);
        native_wait_idle();
        set_native_live(live && after.count() == 0);
    }
    const native_cache_counts before = native_cache_counts_now();
    for (auto _ : state) {
        forget_kept_passes();
        native_wait_idle();
        if (after.count() > 0) {
            set_native_live(false);
            run_kind = rk_ordinary;
            const auto simulated = clock_type::now();
            run_program(m->symbols(), m->program(), o, &out);
            std::this_thread::sleep_until(simulated + after);
            run_kind = rk_livesweep;
            set_native_live(live);
        }
        std::vector<std::pair<double, double>> ends; // since entering, length (ms)
        const auto t0 = clock_type::now();
        for (double since = 0; since < window_ms;) {
            const double ms =
                time_us([&] { run_program(m->symbols(), m->program(), o, &out); }) / 1000;
            since = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
            ends.emplace_back(since, ms);
        }
        native_wait_idle();
        settled_ms = 1e300;
        for (int k = 0; k < 3; ++k)
            settled_ms =
                std::min(settled_ms,
                         time_us([&] { run_program(m->symbols(), m->program(), o, &out); }) / 1000);
        first_ms = ends.front().second;
        tier1_s = -1;
        for (std::size_t k = 0; k < ends.size(); ++k)
            if (ends[k].second <= 1.1 * settled_ms) {
                tier1_s = ends[k].first / 1000;
                reruns = static_cast<double>(k);
                break;
            }
    }
    const native_cache_counts now = native_cache_counts_now();
    state.counters["found"] = static_cast<double>(now.found - before.found);
    state.counters["missed"] = static_cast<double>(now.missed - before.missed);
    state.counters["cache_mb"] = static_cast<double>(native_cache_size()) / 1e6;
    run_kind = rk_ordinary;
    set_native_live(false);
    set_native_tier1_when_hot(false);
    forget_kept_passes();
    if (warm) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        set_native_cache_folder_default();
    }
    state.counters["tier1_s"] = tier1_s;
    state.counters["first_ms"] = first_ms;
    state.counters["settled_ms"] = settled_ms;
    state.counters["reruns"] = reruns;
}
BENCHMARK(BM_LivesweepLatency)
    ->ArgNames({"sectors", "seed", "live", "after", "window", "cache"})
    ->Args({167, 0, 0, 0, 6, 0})
    ->Args({167, 0, 1, 0, 6, 0})
    ->Args({167, 1, 0, 0, 6, 0})
    ->Args({167, 1, 1, 0, 6, 0})
    ->Args({167, 1, 1, 0, 30, 0})
    ->Args({167, 1, 0, 3000, 6, 0})
    ->Args({167, 1, 1, 3000, 6, 0})
    ->Args({167, 0, 1, 0, 6, 1})
    ->Args({167, 1, 1, 0, 6, 1})
    ->Args({167, 1, 1, 3000, 6, 1})
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
