// The interpreter against the same equations written directly in C++ (the
// physical limit): a 10,000-element model for 1,000 steps and a 50-variable
// scalar model for 100,000 steps, both with Euler steps and two saves.
#include <benchmark/benchmark.h>

#include "bench/direct_models.h"

#include <cmath>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/model.h"
#include "model/order.h"
#include "sim/run.h"
#include "tests/support/model_builder.h"

namespace {

constexpr int cells = 10000;

// Population per cell with crowding, a lifetime and a total.
struct large_model {
    model_builder b{"large"};
    sim_program p;
    large_model() {
        init_vocabulary();
        b.control(0, 1000, 1, 1000);
        std::vector<std::string> names;
        for (int i = 0; i < cells; ++i) names.push_back("c" + std::to_string(i));
        std::vector<const char*> ptrs;
        for (auto& n : names) ptrs.push_back(n.c_str());
        b.range("cell", ptrs);
        std::vector<float> fert(cells);
        for (int i = 0; i < cells; ++i)
            fert[static_cast<std::size_t>(i)] = 0.02f + 0.00001f * static_cast<float>(i % 997);
        b.constant_list("fertility[cell]", fert);
        b.constant("capacity", 1000);
        b.constant("lifetime", 70);
        b.level("Pop[cell]", "births[cell] - deaths[cell]", "100");
        b.aux("births[cell]", "Pop[cell] * fertility[cell] * (1 - Pop[cell] / capacity)");
        b.aux("deaths[cell]", "Pop[cell] / lifetime");
        b.aux("total", "SUM(Pop[cell!])");
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

void BM_LargeModelInterpreter(benchmark::State& state) {
    static large_model m;
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_LargeModelInterpreter)->Unit(benchmark::kMillisecond);

void BM_LargeModelDirect(benchmark::State& state) {
    std::vector<float> fert(cells), pop(cells), births(cells), deaths(cells), rows;
    for (int i = 0; i < cells; ++i)
        fert[static_cast<std::size_t>(i)] = 0.02f + 0.00001f * static_cast<float>(i % 997);
    volatile float capacity_v = 1000, lifetime_v = 70;
    for (auto _ : state) {
        float capacity = capacity_v, lifetime = lifetime_v;
        std::fill(pop.begin(), pop.end(), 100.0f);
        float total = 0;
        rows.clear();
        for (int step = 0; step <= 1000; ++step) {
            for (int i = 0; i < cells; ++i) {
                double p = pop[static_cast<std::size_t>(i)];
                births[static_cast<std::size_t>(i)] =
                    static_cast<float>(p * fert[static_cast<std::size_t>(i)] * (1 - p / capacity));
                deaths[static_cast<std::size_t>(i)] = static_cast<float>(p / lifetime);
            }
            double sum = 0;
            for (int i = 0; i < cells; ++i) sum += pop[static_cast<std::size_t>(i)];
            total = static_cast<float>(sum);
            if (step == 0 || step == 1000) {
                rows.insert(rows.end(), pop.begin(), pop.end());
                rows.insert(rows.end(), births.begin(), births.end());
            }
            if (step == 1000) break;
            for (int i = 0; i < cells; ++i)
                pop[static_cast<std::size_t>(i)] +=
                    births[static_cast<std::size_t>(i)] - deaths[static_cast<std::size_t>(i)];
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_LargeModelDirect)->Unit(benchmark::kMillisecond);

// The large sample's shape: 100 stocks over 100 cells, each flowing toward
// the next stock (10,000 elements in 200 equations of 100 lanes).
struct large_sample {
    model_builder b{"large sample"};
    sim_program p;
    large_sample() {
        init_vocabulary();
        b.control(0, 1000, 1, 1000);
        add_stock_ring(b);
        b.finish();
        check_model(b.symbols());
        generate_code(b.symbols(), p);
        order_program(b.symbols(), p);
    }
};

void BM_LargeSampleInterpreter(benchmark::State& state) {
    static large_sample m;
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_LargeSampleInterpreter)->Unit(benchmark::kMillisecond);

void BM_LargeSampleDirect(benchmark::State& state) {
    stock_ring_direct ring;
    volatile float rate_v = 0.01f;
    for (auto _ : state) benchmark::DoNotOptimize(ring.run(rate_v));
}
BENCHMARK(BM_LargeSampleDirect)->Unit(benchmark::kMillisecond);

// A Livesweep-sized re-run: the epidemic sample with 1,000 saved steps.
void BM_EpidemicRerun(benchmark::State& state) {
    static struct epidemic {
        model_builder b{"epidemic"};
        sim_program p;
        epidemic() {
            init_vocabulary();
            b.control(0, 125, 0.125f, 0.125f);
            b.level("Susceptible", "-infections", "total population - 1");
            b.level("Infected", "infections - recoveries", "1");
            b.level("Recovered", "recoveries", "0");
            b.aux("infections",
                  "Susceptible * Infected * contact rate * infectivity / total population");
            b.aux("recoveries", "Infected / illness duration");
            b.constant("total population", 10000);
            b.constant("contact rate", 6);
            b.constant("infectivity", 0.05f);
            b.constant("illness duration", 7);
            b.aux("share infected", "SAFE DIV(Infected, total population, 0)");
            b.finish();
            check_model(b.symbols());
            generate_code(b.symbols(), p);
            order_program(b.symbols(), p);
        }
    } m;
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
    state.counters["saves"] = static_cast<double>(out.times.size());
}
BENCHMARK(BM_EpidemicRerun)->Unit(benchmark::kMicrosecond);

// Ten coupled levels, each with four auxiliaries and a constant: 50 variables.
struct scalar_model {
    model_builder b{"scalar"};
    sim_program p;
    scalar_model() {
        init_vocabulary();
        b.control(0, 100000, 1, 100000);
        for (int i = 0; i < 10; ++i) {
            std::string n = std::to_string(i), next = std::to_string((i + 1) % 10);
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

void BM_ScalarModelInterpreter(benchmark::State& state) {
    static scalar_model m;
    sim_options o;
    sim_output out;
    for (auto _ : state) {
        int r = run_program(m.b.symbols(), m.p, o, &out);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_ScalarModelInterpreter)->Unit(benchmark::kMillisecond);

void BM_ScalarModelDirect(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(scalar_model_direct());
}
BENCHMARK(BM_ScalarModelDirect)->Unit(benchmark::kMillisecond);

} // namespace
