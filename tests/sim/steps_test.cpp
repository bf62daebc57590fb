// The time loop's plain Euler road (the steps between saves with nothing
// but the update and the passes) against its general road: the same values
// to the bit, the same saves, the same errors at the same time, the same
// pauses and stops, on the flat loop and on native code.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/simdata.h"
#include "sim/timeloop.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/random_model.h"

namespace {

struct outcome {
    int result = 0;
    sim_output out;
    std::string messages;
};

// The first difference between two runs, as text ("" when none).
std::string difference(const outcome& x, const outcome& y) {
    return run_difference(x, y);
}

class PlainSteps : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        message_capture::answer() = 6;
        stop_request = 0;
    }
    void TearDown() override {
        set_plain_steps(true);
        set_native_mode(nm_environment);
        set_sim_pause_hook(nullptr);
        stop_request = 0;
        forget_kept_passes();
    }

    // The native modes to run on: the flat loop, and tier 0 where this build has it.
    static std::vector<int> modes() {
        if (native_available()) return {nm_off, nm_tier0};
        return {nm_off};
    }

    static outcome run(model_builder& b, const sim_program& p, bool plain, int mode,
                       const sim_options& o = sim_options{}) {
        set_plain_steps(plain);
        set_native_mode(mode);
        message_capture messages;
        outcome r;
        r.result = run_program(b.symbols(), p, o, &r.out);
        r.messages = messages.joined();
        return r;
    }

    static outcome simulate(model_builder& b, bool plain, int mode) {
        set_plain_steps(plain);
        set_native_mode(mode);
        message_capture messages;
        outcome r;
        r.result = simulate_model(b.symbols(), sim_options{}, &r.out);
        r.messages = messages.joined();
        return r;
    }

    // The two roads on each mode, compared; the plain road's outcome on the loop.
    outcome both_roads(model_builder& b) {
        outcome first;
        for (int mode : modes()) {
            outcome plain = simulate(b, true, mode);
            outcome general = simulate(b, false, mode);
            EXPECT_EQ(difference(plain, general), "") << "mode " << mode;
            if (mode == nm_off) first = plain;
        }
        return first;
    }
};

TEST_F(PlainSteps, RandomModelsGiveTheGeneralRoadsValuesOnEveryMode) {
    const std::uint64_t count = sanitized ? 30 : 120;
    int errors = 0;
    for (std::uint64_t seed = 7001; seed < 7001 + count; ++seed) {
        model_builder b("plain");
        seeded_source src(seed);
        random_model m = build_random_model(b, src);
        ASSERT_TRUE(b.finish()) << "seed " << seed;
        ASSERT_EQ(check_model(b.symbols()), 0) << "seed " << seed << "\n" << m.text;
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1) << "seed " << seed;
        ASSERT_EQ(order_program(b.symbols(), p), 1) << "seed " << seed;
        for (int mode : modes()) {
            outcome plain = run(b, p, true, mode);
            outcome general = run(b, p, false, mode);
            ASSERT_EQ(difference(plain, general), "") << "seed " << seed << " mode " << mode << "\n"
                                                      << m.text;
            errors += !plain.out.error.empty();
        }
    }
    // Some models end in an error, which both roads report alike.
    RecordProperty("runs_ending_in_an_error", errors);
}

// Levels over a range longer than the one-at-a-time update, a smoothing and
// a third-order delay (hidden states), saved every step, every third step
// (the last step saved too: 40 is no multiple of 3) and every 40.
TEST_F(PlainSteps, LevelsAndHiddenStatesSaveAsOnTheGeneralRoad) {
    std::vector<std::string> names;
    for (int i = 1; i <= 60; ++i) names.push_back("e" + std::to_string(i));
    std::vector<const char*> elems;
    for (const auto& s : names) elems.push_back(s.c_str());
    for (float saveper : {0.25f, 0.75f, 10.0f}) {
        model_builder b("hidden");
        b.control(0, 10, 0.25f, saveper);
        b.range("r", elems);
        b.aux("input", "IF THEN ELSE(Time > 2, 10, 5) + Time * 0.1");
        b.aux("smoothed", "SMOOTH(input, 1.5)");
        b.aux("delayed", "DELAY3(input, 2)");
        b.level("Stock", "smoothed - delayed", "1");
        b.level("Many[r]", "0.01 * Stock - 0.02 * Many[r]", "3");
        ASSERT_TRUE(b.finish());
        outcome o = both_roads(b);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        std::size_t saves = saveper == 0.25f ? 41 : saveper == 0.75f ? 15 : 2;
        ASSERT_EQ(o.out.times.size(), saves) << saveper;
        EXPECT_EQ(o.out.times.back(), 10.0f);
        if (saves == 15) {
            EXPECT_EQ(o.out.times[13], 9.75f);
        }
        // The states moved: a road that skipped an update would differ, not only drift.
        EXPECT_NE(saved_value(o.out, saves - 1, slot_of(b, "Stock")), 1.0f);
        EXPECT_NE(saved_value(o.out, saves - 1, slot_of(b, "Many")), 3.0f);
    }
}

// A level that overflows in the Euler update itself (its rate is finite) is
// named at the time of the step's start, one level alone and one element of
// a range longer than a vector, on both roads.
TEST_F(PlainSteps, ALevelOverflowingInTheUpdateIsNamedAsBefore) {
    {
        model_builder b("one");
        b.control(0, 10, 1, 1);
        b.level("Big", "Big", "1e38");
        ASSERT_TRUE(b.finish());
        outcome o = both_roads(b);
        EXPECT_EQ(o.result, sim_error_saved);
        EXPECT_NE(o.messages.find("Floating point error computing Big at time 1"),
                  std::string::npos)
            << o.messages;
        EXPECT_EQ(o.out.times.size(), 2u); // 1e38, 2e38, then too large
    }
    {
        std::vector<std::string> names;
        for (int i = 1; i <= 60; ++i) names.push_back("e" + std::to_string(i));
        std::vector<const char*> elems;
        for (const auto& s : names) elems.push_back(s.c_str());
        model_builder b("range");
        b.control(0, 10, 1, 2);
        b.range("r", elems);
        std::vector<float> k(60, 0.0f);
        k[49] = 1;
        b.constant_list("k[r]", k);
        b.level("Big[r]", "k[r] * Big[r]", "1e38");
        ASSERT_TRUE(b.finish());
        outcome o = both_roads(b);
        EXPECT_EQ(o.result, sim_error_saved);
        EXPECT_NE(o.messages.find("Floating point error computing Big[e50] at time 1"),
                  std::string::npos)
            << o.messages;
        EXPECT_EQ(o.out.times.size(), 1u); // saved at 0, never at 2
    }
}

// A unit left to the interpreter inside native code throws mid-pass; the
// error comes out of the bound code as out of native_run, at the same step.
TEST_F(PlainSteps, AnErrorOfAUnitLeftToTheInterpreterEndsTheRunAlike) {
    model_builder b("message");
    b.control(0, 10, 0.5f, 1);
    b.constant("k", 0.2f);
    b.level("S", "k * S + 1", "1");
    b.aux("watch", "MESSAGE(\"limit passed\", IF THEN ELSE(S > 5, -1, 0))");
    b.aux("after", "S * 2");
    ASSERT_TRUE(b.finish());
    outcome o = both_roads(b);
    EXPECT_EQ(o.result, sim_error_saved);
    EXPECT_NE(o.messages.find("limit passed"), std::string::npos) << o.messages;
    EXPECT_FALSE(o.out.times.empty());
    EXPECT_LT(o.out.times.back(), 10.0f);
}

double stop_at = 0;
int pauses = 0;
int pause_here(double t) {
    ++pauses;
    return t >= stop_at ? 1 : 0;
}

// SIMULATION PAUSE calls the pause hook at each pause time; stopping there
// keeps the saves up to it, as on the general road.
TEST_F(PlainSteps, APauseThatStopsKeepsTheSavesUpToIt) {
    model_builder b("pause");
    b.control(0, 20, 0.5f, 1);
    b.constant("SIMULATION PAUSE", 3);
    b.level("S", "1 + 0.1 * S", "0");
    ASSERT_TRUE(b.finish());
    set_sim_pause_hook(&pause_here);
    stop_at = 7;
    pauses = 0;
    outcome o = both_roads(b);
    EXPECT_EQ(o.result, sim_stopped_saved) << o.messages;
    // Pauses at 3, 6 and 9 (after the save at 9): the stop comes at 9.
    ASSERT_FALSE(o.out.times.empty());
    EXPECT_EQ(o.out.times.back(), 9.0f);
    EXPECT_EQ(o.out.times.size(), 10u);
    EXPECT_EQ(pauses, 3 * 2 * static_cast<int>(modes().size()));
}

} // namespace
