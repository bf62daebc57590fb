// The flat passes are kept from one run to the next of a program with the
// same code: the next run binds them to its own values, lookups and code.
// Runs of models that differ only in their constants and lookup points (the
// same code), and of a model whose code differs by one number, in turn, each
// give what the interpreter alone gives for that model.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/timeloop.h"
#include "tests/sim/engine_fixture.h"

namespace {

struct small_model {
    model_builder b;
    sim_program p;
    small_model(const char* name, float k, float top, const char* extra) : b(name) {
        init_vocabulary();
        b.control(0, 20, 0.5f, 1);
        b.constant("k", k);
        b.lookup("tbl", {{0, 1}, {1, top}, {2, 0.5f}});
        b.level("S", "flow", "50");
        b.level("T", "S / 10 - T * k", "0");
        b.aux("flow", (std::string("k * S * tbl(S / 100) - MIN(T, S) * 0.01 + ") + extra).c_str());
        b.aux("share", "IF THEN ELSE(S > T, T / S, 1)");
        EXPECT_TRUE(b.finish());
        EXPECT_EQ(check_model(b.symbols()), 0);
        EXPECT_EQ(generate_code(b.symbols(), p), 1);
        EXPECT_EQ(order_program(b.symbols(), p), 1);
    }
    sim_output run(bool flat) {
        set_flat_passes(flat);
        sim_output out;
        EXPECT_EQ(run_program(b.symbols(), p, sim_options{}, &out), sim_done);
        set_flat_passes(true);
        return out;
    }
};

TEST(FlatReuse, RunsOfOneCodeAndOfAnotherInTurnGiveTheInterpretersValues) {
    std::vector<std::unique_ptr<small_model>> models;
    models.push_back(std::make_unique<small_model>("a", 0.02f, 1.5f, "0.5"));
    models.push_back(std::make_unique<small_model>("b", 0.05f, 0.75f, "0.5")); // same code
    models.push_back(std::make_unique<small_model>("c", 0.02f, 1.5f, "0.25")); // one number
    ASSERT_EQ(models[0]->p.units.size(), models[1]->p.units.size());
    // One pool for all the runs: each run's arrays are new memory, so a run
    // left pointing at the previous run's would read stale values.
    bool own = take_sim_pool();
    std::vector<sim_output> reference;
    for (auto& m : models) reference.push_back(m->run(false));
    // The models differ in their results, so a run bound to another's
    // lookups or numbers would show.
    ASSERT_NE(reference[0].rows, reference[1].rows);
    ASSERT_NE(reference[0].rows, reference[2].rows);
    for (int i : {0, 1, 0, 0, 2, 1, 2, 0}) {
        sim_output flat = models[static_cast<std::size_t>(i)]->run(true);
        ASSERT_EQ(flat.rows.size(), reference[static_cast<std::size_t>(i)].rows.size());
        for (std::size_t v = 0; v < flat.rows.size(); ++v)
            ASSERT_EQ(flat.rows[v], reference[static_cast<std::size_t>(i)].rows[v])
                << "model " << i << " value " << v;
    }
    release_sim_pool(own);
}

// A program run again unchanged reuses its passes without looking at its
// code; changed after its ordering (as a game drops its inputs from the
// dynamic order) and restamped, it is new to the engine, which must not run
// the old passes: its run gives what a copy of it (never run before) gives.
TEST(FlatReuse, AProgramChangedAfterOrderingAndRestampedRunsItsNewOrder) {
    small_model a("a", 0.02f, 1.5f, "0.5");
    const sim_output before = a.run(true);
    EXPECT_EQ(a.run(true).rows, before.rows);
    // share is computed at every step; out of the dynamic order it keeps
    // its initial value.
    const symbol_id share = a.b.id("share");
    auto& order = a.p.dynamic_order;
    const auto at = std::find_if(order.begin(), order.end(), [&](int u) {
        return a.p.units[static_cast<std::size_t>(u)].sym == share;
    });
    ASSERT_NE(at, order.end());
    order.erase(at);
    restamp_program(a.p);
    const sim_output after = a.run(true);
    EXPECT_NE(after.rows, before.rows);
    sim_program copy = a.p;
    sim_output fresh;
    ASSERT_EQ(run_program(a.b.symbols(), copy, sim_options{}, &fresh), sim_done);
    EXPECT_EQ(after.rows, fresh.rows);
}

} // namespace
