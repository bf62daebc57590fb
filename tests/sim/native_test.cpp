// The native tier against the flat loop and the interpreter alone: the same
// values to the bit, the same errors naming the same variable, the loop after
// a compile that fails, and compiled code freed with its passes.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/native/object_cache.h"
#include "sim/run.h"
#include "tests/common/sanitized.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/random_model.h"

namespace {

// The sanitizer build runs fewer models, and leaves the rerun of the whole
// suite on native code to the Release build (CI runs both).

enum road { interpreter, flat_loop, native_code, optimised };

struct outcome {
    int result = 0;
    sim_output out;
    std::string messages;
};

void choose(road r) {
    set_flat_passes(r != interpreter);
    set_native_mode(r == native_code ? nm_tier0 : r == optimised ? nm_tier1 : nm_off);
}

outcome run(model_builder& b, const sim_program& p, int method, road r) {
    choose(r);
    message_capture messages;
    outcome o;
    sim_options opt;
    opt.method = method;
    opt.rk_tolerance = 0.05;
    o.result = run_program(b.symbols(), p, opt, &o.out);
    o.messages = messages.joined();
    return o;
}

outcome simulate(model_builder& b, road r) {
    choose(r);
    message_capture messages;
    outcome o;
    o.result = simulate_model(b.symbols(), sim_options{}, &o.out);
    o.messages = messages.joined();
    return o;
}

// The first difference between two runs, as text ("" when none).
std::string difference(const outcome& x, const outcome& y) {
    if (x.result != y.result)
        return "results " + std::to_string(x.result) + " and " + std::to_string(y.result);
    return output_difference(x.out, y.out);
}

// Runs a finished model with Euler and RK4 on the loop, then on the
// interpreter and both tiers, which must give the loop's results to the bit.
void expect_every_road_as_the_loop(model_builder& b) {
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    for (int method : {im_euler, im_rk4}) {
        outcome loop = run(b, p, method, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        EXPECT_EQ(difference(run(b, p, method, interpreter), loop), "");
        for (road r : {native_code, optimised})
            EXPECT_EQ(difference(run(b, p, method, r), loop), "")
                << (r == optimised ? "tier 1" : "tier 0") << ", method " << method;
    }
}

// Simulates a finished model at tier 0 and tier 1: each must end as the
// loop's run did, with its messages and values to the bit.
void expect_both_tiers_as(model_builder& b, const outcome& loop) {
    for (road r : {native_code, optimised}) {
        outcome native = simulate(b, r);
        EXPECT_EQ(native.messages, loop.messages) << (r == optimised ? "tier 1" : "tier 0");
        EXPECT_EQ(difference(native, loop), "") << (r == optimised ? "tier 1" : "tier 0");
    }
}

class NativeTier : public testing::Test {
protected:
    // Passes compiled as for the first time: code kept on disk from an
    // earlier run would be linked at tier 1 without a tier 0.
    static void compile_every_level() { set_native_cache_folder(""); }
    void SetUp() override {
        init_vocabulary();
        if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
        // No code of earlier tests left (counts of live code start at 0).
        forget_kept_passes();
        native_wait_idle();
        ASSERT_EQ(native_live_passes(), 0u);
        ASSERT_EQ(native_live_steps(), 0u);
    }
    void TearDown() override {
        set_flat_passes(true);
        set_native_mode(nm_environment);
        set_native_compile_failure(false);
        set_native_compile_threads(0);
        set_native_compiles_held(false);
        set_native_cache_folder_default();
    }
};

TEST_F(NativeTier, RandomModelsGiveTheLoopsAndTheInterpretersValuesWithEveryMethod) {
    const char* count_text = std::getenv("KAVREL_GENERATED_MODELS");
    const std::uint64_t count = count_text  ? std::strtoull(count_text, nullptr, 10)
                                : sanitized ? 30
                                            : 120;
    std::size_t compiled = 0;
    const std::size_t wide_loops = native_wide_loops();
    for (std::uint64_t seed = 1001; seed < 1001 + count; ++seed) {
        model_builder b("native");
        seeded_source src(seed);
        random_model m = build_random_model(b, src);
        ASSERT_TRUE(b.finish()) << "seed " << seed;
        ASSERT_EQ(check_model(b.symbols()), 0) << "seed " << seed << "\n" << m.text;
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1) << "seed " << seed;
        ASSERT_EQ(order_program(b.symbols(), p), 1) << "seed " << seed;
        // Passes compiled whole, and split into modules compiled at once.
        set_native_compile_threads(static_cast<int>(seed % 3) + 1);
        for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
            outcome native = run(b, p, method, native_code);
            compiled += native_live_passes();
            outcome loop = run(b, p, method, flat_loop);
            outcome reference = run(b, p, method, interpreter);
            ASSERT_EQ(difference(native, loop), "")
                << "seed " << seed << " method " << method << "\n"
                << m.text;
            if (method == m.method) {
                outcome tier1 = run(b, p, method, optimised);
                compiled += native_live_passes();
                ASSERT_EQ(difference(tier1, loop), "")
                    << "seed " << seed << " method " << method << " (tier 1)\n"
                    << m.text;
                // Nothing failed to compile (the steps' code too: its
                // failure only costs speed, so nothing else would tell).
                EXPECT_EQ(tier1.messages, loop.messages) << "seed " << seed << "\n" << m.text;
            }
            ASSERT_EQ(difference(native, reference), "")
                << "seed " << seed << " method " << method << "\n"
                << m.text;
        }
    }
    // Every model's passes were compiled (kept after its native run).
    EXPECT_EQ(compiled, 2 * 5 * count);
    // Units of several lanes among them ran as native loops at tier 1.
    EXPECT_GT(native_wide_loops(), wide_loops);
}

// NA read from a constant, switched on and off over time, and NA computed
// (-2^55 * 2^55 is NA to the bit) go through + - * /, MAX, negation and a
// lookup as on the loop; so do values below NA, which are not NA. The
// compiled code computes without NA tests first and again with them when
// an operand may be NA, so each unit mixes ordinary and NA operands.
TEST_F(NativeTier, NAGoesThroughEveryOperationAsOnTheLoop) {
    model_builder b("na");
    b.control(0, 8, 0.5f, 0.5f);
    b.lookup("curve", {{0, 1}, {10, 3}});
    b.constant("gap", NA);
    b.constant("big", -36028797018963968.0f); // -2^55
    b.constant("huge", -1e34f);               // below NA, not NA
    b.aux("half", "IF THEN ELSE(Time > 3, gap, Time)");
    b.aux("made", "big * (0 - big) + 1");
    b.aux("sum", "half + Stock * 2 - 1");
    b.aux("ratio", "Stock / (half + 4)");
    b.aux("most", "MAX(half, Stock) + MIN(half, 2)");
    b.aux("neg", "-half * 3");
    b.aux("looked", "curve(half) + curve(Stock)");
    b.aux("below", "huge * 0.5 + Stock");
    b.aux("after", "made * 2 + Stock / 3");
    b.level("Stock", "0.1 * Stock + 1", "1");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    outcome loop = run(b, p, im_euler, flat_loop);
    ASSERT_EQ(loop.result, sim_done) << loop.messages;
    // NA really flows: half and made are NA at the end.
    std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
    for (const char* name : {"half", "made", "sum", "after"})
        EXPECT_EQ(loop.out.rows[last + static_cast<std::size_t>(slot_of(b, name))], NA) << name;
    EXPECT_EQ(difference(run(b, p, im_euler, interpreter), loop), "");
    for (road r : {native_code, optimised}) {
        outcome native = run(b, p, im_euler, r);
        EXPECT_EQ(native_live_passes(), 2u);
        EXPECT_EQ(difference(native, loop), "") << (r == optimised ? "tier 1" : "tier 0");
    }
}

// Compiled code notes an intermediate result for its NA only where that NA
// would not show otherwise: a choice between values already noted, MAX with a
// number (never NA itself, though MAX gives NA for an NA operand), a square,
// ABS, or a sum with a positive number. Each unit below turns NA, computed
// (-2^55 * 2^55 is NA to the bit) or read, into a value that is no longer NA
// unless it is noted, so a note left out wrongly shows as a difference.
TEST_F(NativeTier, NAOfResultsOnlyChosenOrBoundedIsStillFound) {
    // NA read from a slot after time 3, and NA computed after time 5 (an
    // intermediate result, noted only where it is used). One unit a model:
    // any other NA noted in the pass would send it all to the loop.
    auto with = [](std::string e) {
        const std::pair<std::string, std::string> marks[] = {
            {"@m", "IF THEN ELSE(Time > 5, big * (0 - big), Time - 1)"},
            {"@h", "IF THEN ELSE(Time > 3, gap, Time)"}};
        for (const auto& [mark, x] : marks)
            for (std::size_t at; (at = e.find(mark)) != std::string::npos;)
                e.replace(at, mark.size(), x);
        return e;
    };
    for (const char* text :
         {"MIN(@m, 5) * 2", "MIN(@h, @m) * 2", "MIN(5, @m) * 3",
          "IF THEN ELSE(Time > 2, @m, 4) * 2", "IF THEN ELSE(Time < 1, 7, @m) * 3",
          "MAX(@m, 2) * 3", "MAX(Stock, @m) * 2", "(@m * @m) * 2", "ABS(@m) * 3",
          "(MAX(Stock, @m) + 0.5) * 2", "(@m + 3) * 3", "MIN(@h, 5) * 2"}) {
        model_builder b("chosen");
        b.control(0, 8, 0.5f, 0.5f);
        b.constant("gap", NA);
        b.constant("big", -36028797018963968.0f); // -2^55
        b.aux("u", with(text).c_str());
        b.level("Stock", "0.1 * Stock + 1", "1");
        ASSERT_TRUE(b.finish());
        SCOPED_TRACE(text);
        expect_every_road_as_the_loop(b);
        // The NA really reaches the unit by the end.
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
        outcome loop = run(b, p, im_euler, flat_loop);
        std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
        EXPECT_EQ(loop.out.rows[last + static_cast<std::size_t>(slot_of(b, "u"))], NA);
    }
}

// A pass whose later part meets NA is finished by the flat loop, which must
// still know that an earlier part stored a value that is not finite: the run
// ends naming that unit, as on the loop (only that unit is not finite; the
// part the loop computes stores finite values and NA).
TEST_F(NativeTier, APassFinishedByTheLoopStillNamesAnEarlierValueNotFinite) {
    model_builder b("handover");
    b.control(0, 10, 1, 1);
    b.constant("gap", NA);
    b.aux("a0", "1 / (10 - Time * 2)");
    b.aux("a1", "MIN(a0, 5)");
    for (int i = 2; i < 100; ++i)
        b.aux(("a" + std::to_string(i)).c_str(), ("a" + std::to_string(i - 1) + " + 0.5").c_str());
    b.aux("z", "gap * 2 + IF THEN ELSE(a99 > 0, 0, 1)");
    b.level("Sum", "z", "0");
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    ASSERT_NE(loop.messages.find("Floating point error computing a0 at time 5"), std::string::npos)
        << loop.messages;
    expect_both_tiers_as(b, loop);
}

// A fast part looks for NA among the slots it read in runs of neighbours, 8
// or 4 at a time: NA in the first, a middle and the last slot of a run, and
// in a run too short for that, gives the loop's values. Stored values large
// enough for the part's check sum to overflow are finite: the run goes on.
TEST_F(NativeTier, NAAmongNeighbouringSlotsAndLargeValuesAreFoundAsOnTheLoop) {
    for (int gap : {0, 5, 13, 22, 23, -1}) {
        SCOPED_TRACE("NA in k" + std::to_string(gap));
        model_builder b("neighbours");
        b.control(0, 4, 0.5f, 0.5f);
        for (int i = 0; i < 24; ++i) {
            std::string n = std::to_string(i);
            b.constant(("k" + n).c_str(), i == gap ? NA : 0.01f * static_cast<float>(i + 1));
            b.level(("L" + n).c_str(), ("k" + n + " * 0.5 + big - L" + n + " * 0.1").c_str(), "1");
        }
        // 3e38 twice in one part overflows a float sum of the stored values.
        b.aux("big", "IF THEN ELSE(Time > 2, 3e+38 - L0 * 0, 0)");
        b.aux("big2", "big * 1");
        b.aux("big3", "big2 * 1");
        ASSERT_TRUE(b.finish());
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
        outcome loop = run(b, p, im_euler, flat_loop);
        std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
        if (gap >= 0) {
            std::string name = "L" + std::to_string(gap);
            EXPECT_LT(loop.out.rows[last + static_cast<std::size_t>(slot_of(b, name.c_str()))],
                      -1e32f); // NA went in
        }
        for (road r : {native_code, optimised}) {
            outcome native = run(b, p, im_euler, r);
            EXPECT_EQ(native_live_passes(), 2u);
            EXPECT_EQ(native.messages, loop.messages);
            EXPECT_EQ(difference(native, loop), "") << (r == optimised ? "tier 1" : "tier 0");
        }
    }
}

// Lookups are computed in the native code while x stays in the table's
// current segment and searched by the engine's call otherwise: x sweeping
// back and forth over the table and beyond both ends, landing on points, on
// a vertical step and on a flat stretch, gives the loop's values.
TEST_F(NativeTier, LookupsGiveTheLoopsValuesInsideAndAcrossSegments) {
    model_builder b("lookups");
    b.control(0, 40, 0.25f, 0.25f);
    b.lookup("curve",
             {{0, 1.1f}, {0.7f, 3.3f}, {1.9f, 3.3f}, {1.9f, 5.7f}, {3.3f, -1.3f}, {5.1f, 0.3f}});
    b.aux("wave", "3 * SIN(Time / 2) + 2.5");
    b.aux("steps", "INTEGER(Time) / 4 - 2");
    b.aux("slow", "Time / 7");
    b.aux("looked", "curve(wave) + curve(steps) * 2 + curve(slow) - curve(Stock / 10)");
    b.level("Stock", "looked - Stock / 5", "0.5");
    ASSERT_TRUE(b.finish());
    expect_every_road_as_the_loop(b);
}

// The search of a lookup in the code at tier 1 takes the engine's segment on
// every way: x exactly at points, jumps of several segments (the
// bisection), the ends, tables of one and two points, three points at one x,
// and a table whose x values fall (the bisection then finds what the
// engine's does), several units reading one table at different x.
TEST_F(NativeTier, LookupSearchesInTheCodeFindTheEnginesSegments) {
    model_builder b("searches");
    b.control(0, 30, 0.25f, 0.25f);
    b.lookup("single", {{1, 2.5f}});
    b.lookup("pair", {{-1, 0.5f}, {2, 4}});
    b.lookup("stairs", {{0, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 2.5f}, {3, 0.25f}, {4, 4}});
    b.lookup("falling", {{0, 1}, {3, 2}, {2, 5}, {1, 0.5f}, {4, 3}});
    b.aux("at points", "Time / 4 - 1");
    b.aux("jumps", "MODULO(Time * 7, 9) - 2");
    b.aux("a", "stairs(at points) + stairs(jumps) * 3 + falling(jumps) - falling(at points)");
    b.aux("b", "single(jumps) + pair(at points) * pair(jumps) + stairs(Stock)");
    b.level("Stock", "(a + b) / 10 - Stock / 4", "1");
    ASSERT_TRUE(b.finish());
    expect_every_road_as_the_loop(b);
}

// At tier 1 a lookup first tries the segment in which it found x the step
// before (or the end beyond which it lay), which gives the search's segment
// only when the table's points rise. The code of the first run meets the same
// table in the next runs with points that fall (the first above the last),
// then with fewer points than its lookups remember: each run gives the
// interpreter's values for the points it has.
TEST_F(NativeTier, LookupsFollowTheTablesPointsWhenTheyChangeBetweenRuns) {
    model_builder b("changing table");
    b.control(0, 20, 0.25f, 0.25f);
    b.lookup("table", {{0, 1}, {1, 3}, {2, 2}, {3, 5}, {4, 0.5f}, {5, 4}});
    // Three lookups of one table at x apart, each crossing points exactly.
    b.aux("rising", "Time / 4");
    b.aux("falling", "6 - Time / 4");
    b.aux("looked", "table(rising) + table(falling) * 3 + table(rising + 0.625)");
    b.level("Stock", "looked - Stock", "0");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    struct points {
        const char* name;
        std::vector<float> x;
    };
    const points tables[] = {{"rising", {0, 1, 2, 3, 4, 5}},
                             {"falling", {5.5f, 3, 2, 1, 4, 5}},
                             {"fewer", {0, 2, 3, 5}},
                             {"rising again", {0, 1, 2, 3, 4, 5}}};
    auto put = [&](const points& t) {
        model_lock_guard g(b.symbols(), 1);
        auto* entry = const_cast<lookup_entry*>(lookup_at(0));
        ASSERT_TRUE(g.ok() && entry); // at most the 6 cells the table was given
        std::copy(t.x.begin(), t.x.end(), model_lookup_data + entry->x);
        entry->npoints = static_cast<std::uint32_t>(t.x.size());
    };
    // The tier 1 runs one after another, so that each keeps the code (and
    // what its lookups remember) of the run before.
    std::vector<outcome> native;
    for (const points& t : tables) {
        put(t);
        native.push_back(run(b, p, im_euler, optimised));
        ASSERT_EQ(native.back().result, sim_done) << t.name << ": " << native.back().messages;
    }
    for (std::size_t k = 0; k < native.size(); ++k) {
        put(tables[k]);
        EXPECT_EQ(difference(native[k], run(b, p, im_euler, interpreter)), "") << tables[k].name;
    }
    put(tables[3]);
}

// A value that is not finite in a scalar unit, in a lane of a unit of several
// lanes, and a stop from a built-in the native code calls: each ends the run
// with the loop's message and the values saved before it.
TEST_F(NativeTier, ErrorsEndTheRunAsOnTheLoopNamingTheSameVariable) {
    struct error_case {
        const char* name;
        const char* expected;
        void (*build)(model_builder&);
    };
    const error_case cases[] = {
        {"scalar", "Floating point error computing blowup at time 5",
         [](model_builder& b) {
             b.control(0, 10, 1, 1);
             b.aux("ok", "Time * 2");
             b.aux("blowup", "ok / (10 - ok)");
             b.level("Sum", "blowup", "0");
         }},
        {"lane", "Floating point error computing w[a4]",
         [](model_builder& b) {
             b.control(0, 4, 1, 1);
             b.range("r", {"a1", "a2", "a3", "a4"});
             b.constant_list("x0[r]", {0.5f, 1, 1.5f, 2});
             b.level("X[r]", "0.25", "x0[r]");
             b.aux("w[r]", "1 / (X[r] - 2.5) + shown");
             b.aux("shown", "Time");
         }},
        {"stop", "limit passed",
         [](model_builder& b) {
             b.control(0, 10, 1, 1);
             b.aux("before", "Time + 1");
             b.aux("watch", "MESSAGE(\"limit passed\", IF THEN ELSE(Time >= 3, -1, 0))");
             b.aux("after", "before * 2");
         }},
    };
    for (const error_case& c : cases) {
        model_builder b(c.name);
        c.build(b);
        ASSERT_TRUE(b.finish()) << c.name;
        for (road r : {native_code, optimised}) {
            SCOPED_TRACE(r == optimised ? "tier 1" : "tier 0");
            outcome native = simulate(b, r);
            EXPECT_NE(native.result, sim_done) << c.name;
            EXPECT_NE(native.messages.find(c.expected), std::string::npos)
                << c.name << ": " << native.messages;
            EXPECT_EQ(native.messages, simulate(b, flat_loop).messages) << c.name;
            EXPECT_EQ(difference(native, simulate(b, flat_loop)), "") << c.name;
            EXPECT_FALSE(native.out.times.empty()) << c.name;
        }
    }
}

// The math built-ins and the test inputs of time are computed in the native
// code (the same C library functions): NA in and out of each, SAFE DIV by 0
// with and without its third argument, a PULSE narrower than the time step,
// and the edges of STEP, PULSE and RAMP give the loop's values.
TEST_F(NativeTier, BuiltInsAndTestInputsGiveTheLoopsValues) {
    model_builder b("builtins");
    b.control(0, 8, 0.25f, 0.25f);
    b.constant("gap", NA);
    b.aux("x", "IF THEN ELSE(Time > 5 :AND: Time < 6, gap, 3 * SIN(Time) + Stock / 9)");
    b.aux("m1", "ABS(x) + SQRT(ABS(x)) + INTEGER(x) + EXP(x / 4) + LN(ABS(x) + 1)");
    b.aux("m2", "LOG(ABS(x) + 2, 3) + COS(x) + TAN(x / 3) + ARCTAN(x)");
    b.aux("m3", "ARCSIN(x / 8) + ARCCOS(x / 9) + SINH(x / 2) + COSH(x / 3) + TANH(x)");
    b.aux("m4", "POWER(ABS(x), 1.5) + MODULO(x, 1.25) + MODULO(0 - Time, 3)");
    b.aux("d1", "SAFE DIV(x, INTEGER(x))");
    b.aux("d2", "SAFE DIV(x, INTEGER(x / 2), 7)");
    b.aux("t1", "STEP(2, 3) + PULSE(2, 0.1) + PULSE(4, 1.3) + RAMP(1.5, 2, 6)");
    b.aux("lone", "ABS(IF THEN ELSE(Time > 5, gap, 0 - Time))"); // NA in ABS alone
    b.aux("all", "m1 + m2 + m3 + m4 + d1 + d2 + t1 + lone");
    b.level("Stock", "t1 - Stock / 4", "1");
    b.level("Sink", "all", "0");
    ASSERT_TRUE(b.finish());
    expect_every_road_as_the_loop(b);
}

// PULSE TRAIN, the lookup functions and the held values (INITIAL, SAMPLE
// IF TRUE) are computed in the code, not by calls of the engine: pulses
// narrower than a step, without an interval and past their end, lookups
// beyond both ends and inverses of rising, falling and flat tables, a
// condition that comes and goes (a Runge-Kutta stage sees the input unheld),
// and NA in each, give the loop's values with every method.
TEST_F(NativeTier, PulseTrainsLookupFunctionsAndHeldValuesAreComputedInTheCode) {
    model_builder b("held");
    b.control(0, 12, 0.25f, 0.25f);
    b.constant("gap", NA);
    b.lookup("rise", {{0, 0}, {1, 2}, {2, 3}, {3, 3}, {4, 3.5f}});
    b.lookup("fall", {{0, 5}, {1, 3}, {2, 3}, {3, 0}});
    b.aux("x", "3 * SIN(Time) + Stock / 9");
    b.aux("holey", "IF THEN ELSE(Time > 5 :AND: Time < 6, gap, x)");
    b.aux("trains", "PULSE TRAIN(1, 0.1, 2, 9) + PULSE TRAIN(2, 0.5, 0, 12) * 2 + "
                    "PULSE TRAIN(0.5, 0.3, -1, 5) * 4 + PULSE TRAIN(x, 1, 1.5, 10) * 8");
    b.aux("gaps", "PULSE TRAIN(holey, 1, 1.5, 10) + PULSE TRAIN(1, holey, 2, 11)");
    b.aux("ends", "LOOKUP EXTRAPOLATE(rise, x) + LOOKUP EXTRAPOLATE(fall, Time - 2)");
    b.aux("back", "LOOKUP INVERT(rise, x) + LOOKUP INVERT(fall, 5.5 - Time / 2)");
    b.aux("held", "INITIAL(Stock * 2) + SAMPLE IF TRUE(SIN(Time * 2) > 0.3, x, 7) + "
                  "SAMPLE IF TRUE(COS(Time * 3) > 0.2, x * 2, 5)");
    b.aux("na", "LOOKUP EXTRAPOLATE(rise, holey) + LOOKUP INVERT(fall, holey) + "
                "SAMPLE IF TRUE(Time > 4, holey, 1)");
    b.aux("lost", "INITIAL(gap)");
    b.level("Stock", "trains + ends + back + held - Stock / 4", "1");
    b.level("Sink", "gaps + na", "0");
    b.level("Lost", "lost", "0");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    const std::size_t before = native_engine_calls();
    for (int method : {im_euler, im_rk4}) {
        outcome loop = run(b, p, method, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        EXPECT_EQ(difference(run(b, p, method, interpreter), loop), "");
        // Each road twice: the second run has an initial pass of its own.
        for (road r : {native_code, optimised})
            for (int again = 0; again < 2; ++again)
                EXPECT_EQ(difference(run(b, p, method, r), loop), "")
                    << (r == optimised ? "tier 1" : "tier 0") << ", method " << method
                    << (again ? ", again" : "");
    }
    EXPECT_EQ(native_engine_calls(), before);

    // The values are not all alike (the functions did something).
    outcome loop = run(b, p, im_euler, flat_loop);
    std::set<float> trains, back, held;
    bool na = false;
    for (std::size_t k = 0; k < loop.out.times.size(); ++k) {
        const float* row = loop.out.rows.data() + k * loop.out.value_slots;
        trains.insert(row[static_cast<std::size_t>(slot_of(b, "trains"))]);
        back.insert(row[static_cast<std::size_t>(slot_of(b, "back"))]);
        held.insert(row[static_cast<std::size_t>(slot_of(b, "held"))]);
        na |= row[static_cast<std::size_t>(slot_of(b, "na"))] == NA;
    }
    EXPECT_GE(trains.size(), 4u);
    EXPECT_GE(back.size(), 20u);
    EXPECT_GE(held.size(), 5u);
    EXPECT_TRUE(na);
}

// The inverse of a lookup without points is NA (it read before the table's
// points).
TEST_F(NativeTier, TheInverseOfALookupWithoutPointsIsNA) {
    model_builder b("empty");
    b.control(0, 2, 0.5f, 0.5f);
    b.lookup("none", {});
    b.aux("back", "LOOKUP INVERT(none, Time)");
    b.level("Stock", "1", "0");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    for (road r : {interpreter, flat_loop, native_code, optimised}) {
        outcome o = run(b, p, im_euler, r);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        for (std::size_t k = 0; k < o.out.times.size(); ++k)
            EXPECT_EQ(
                o.out.rows[k * o.out.value_slots + static_cast<std::size_t>(slot_of(b, "back"))],
                NA)
                << "road " << r;
    }
}

// Smoothing and delay outputs and the rates of their hidden states are
// computed in the native code: every kind, with inputs and delay times that
// move, an input that is NA for a while and one below NA, give the loop's
// values with every method. A smoothing time that reaches 0 makes a rate
// not finite: the run ends with the loop's message.
TEST_F(NativeTier, SmoothingAndDelaysGiveTheLoopsValuesAndErrors) {
    auto build = [](model_builder& b, const char* time) {
        b.control(0, 12, 0.25f, 0.25f);
        b.constant("gap", NA);
        b.constant("huge", -1e34f);
        b.aux("wave", "3 * SIN(Time) + Stock / 4");
        b.aux("holey", "IF THEN ELSE(Time > 2 :AND: Time < 3, gap, wave)");
        b.aux("d", time);
        b.aux("s1", "SMOOTH(wave, d)");
        b.aux("s2", "SMOOTH3(holey, d + 1)");
        b.aux("s3", "SMOOTH INIT(wave * 2, d, 5)");
        b.aux("s4", "SMOOTH3 INIT(wave, 2, -1)");
        b.aux("s5", "SMOOTH N(wave, d, 0, 5)");
        b.aux("d1", "DELAY1(wave + 4, d + 1)");
        b.aux("d2", "DELAY1 INIT(holey, 1.5, 2)");
        b.aux("d3", "DELAY3(wave, d + 1)");
        b.aux("d4", "DELAY3 INIT(wave, d + 0.5, 1)");
        b.aux("d5", "DELAY N(wave, d + 1, 3, 4)");
        b.aux("d6", "DELAY1(huge, 2)");
        b.aux("t1", "TREND(wave + 20, d + 1, 0.1)");
        b.aux("f1", "FORECAST(wave + 20, d + 1, 2)");
        b.aux("all", "s1 + s3 + s4 + s5 + d1 + d3 + d4 + d5 + t1 + f1");
        b.level("Stock", "all / 10 - Stock / 5", "1");
        b.level("Sink", "s2 + d2 + d6", "0");
    };
    model_builder b("smooth");
    build(b, "2 + Time / 6");
    ASSERT_TRUE(b.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    for (int method : {im_euler, im_rk4, im_rk_auto}) {
        outcome loop = run(b, p, method, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        EXPECT_EQ(difference(run(b, p, method, interpreter), loop), "");
        for (road r : {native_code, optimised}) {
            outcome native = run(b, p, method, r);
            EXPECT_EQ(native_live_passes(), 2u);
            EXPECT_EQ(difference(native, loop), "")
                << (r == optimised ? "tier 1" : "tier 0") << ", method " << method;
        }
    }
    // NA went in and came out of a delay (d2 holds NA / 1.5 for a while).
    outcome loop = run(b, p, im_euler, flat_loop);
    bool odd = false;
    for (std::size_t k = 0; k < loop.out.times.size(); ++k)
        odd |=
            loop.out.rows[k * loop.out.value_slots + static_cast<std::size_t>(slot_of(b, "d2"))] <
            -1e32f;
    EXPECT_TRUE(odd);

    model_builder z("zero");
    build(z, "MAX(3 - Time, 0)");
    ASSERT_TRUE(z.finish());
    outcome zloop = simulate(z, flat_loop);
    EXPECT_NE(zloop.result, sim_done);
    EXPECT_NE(zloop.messages.find("computing the state of s1 at time 3"), std::string::npos)
        << zloop.messages;
    expect_both_tiers_as(z, zloop);
}

TEST_F(NativeTier, ACompileThatFailsLeavesThePassesToTheLoopAfterOneLogLine) {
    model_builder b("fallback");
    b.control(0, 20, 0.5, 1);
    b.lookup("curve", {{0, 0}, {5, 2}, {10, 1}});
    b.aux("rate", "curve(Time) * 0.1 + MIN(Stock, 3)");
    b.level("Stock", "rate - Stock / 7", "1");
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    set_native_compile_failure(true);
    outcome failed = simulate(b, native_code);
    EXPECT_EQ(native_live_passes(), 0u);
    EXPECT_EQ(difference(failed, loop), "");
    std::size_t lines = 0;
    for (std::size_t at = failed.messages.find("run on the interpreter"); at != std::string::npos;
         at = failed.messages.find("run on the interpreter", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << failed.messages;
    // A compile that failed is not tried again for the passes kept; new
    // passes are compiled.
    set_native_compile_failure(false);
    forget_kept_passes();
    outcome native = simulate(b, native_code);
    EXPECT_EQ(native_live_passes(), 2u);
    EXPECT_EQ(difference(native, loop), "");
    EXPECT_EQ(native.messages.find("run on the interpreter"), std::string::npos);
}

// A model of the size that pays: 20 levels with a lookup and MIN each.
void large_model(model_builder& b, const char* scale, int levels = 20) {
    b.control(0, 30, 0.25f, 1);
    b.lookup("curve", {{0, 0.2f}, {1, 1}, {3, 1.4f}});
    for (int i = 0; i < levels; ++i) {
        std::string n = std::to_string(i), next = std::to_string((i + 1) % levels);
        b.level(("L" + n).c_str(), ("f" + n).c_str(), "2");
        b.aux(("f" + n).c_str(),
              ("curve(L" + next + " / 3) * " + scale + " - MIN(L" + n + ", 4) * 0.05").c_str());
    }
}

// The large model (scale 0.1) finished and its program made and ordered, with
// the flat loop's outcome of a run (native code off) to compare others with.
void large_program(model_builder& b, sim_program& p, outcome& loop) {
    large_model(b, "0.1");
    ASSERT_TRUE(b.finish());
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    set_native_mode(nm_off);
    loop.result = run_program(b.symbols(), p, sim_options{}, &loop.out);
}

// By default passes of a size that pays are compiled on the worker thread while the flat
// loop runs them; the runs after that use the code, with the same values.
// Closing the model while it compiles frees the code when the compile ends.
TEST_F(NativeTier, PassesSwitchToTheirCodeWhenTheWorkerHasCompiledIt) {
    compile_every_level(); // the order of first compiles
    model_builder b("large"), other("other");
    large_model(b, "0.1");
    large_model(other, "0.2");
    ASSERT_TRUE(b.finish());
    ASSERT_TRUE(other.finish());
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    forget_kept_passes();
    native_wait_idle();
    set_flat_passes(true);
    set_native_mode(nm_auto);
    message_capture messages;
    sim_output first, later;
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &first), sim_done);
    native_wait_idle();
    // Both tiers compiled; the next run takes tier 1 and frees tier 0.
    EXPECT_EQ(native_live_passes(), 4u);
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &later), sim_done);
    // The initial pass, built at this second run, compiles on the worker:
    // both its tiers, then the next run takes tier 1 and frees tier 0.
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 4u);
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &later), sim_done);
    EXPECT_EQ(native_live_passes(), 3u);
    ASSERT_TRUE(interp_begin(p, b.symbols()));
    EXPECT_GE(native_pass_count(), 1u);
    interp_end();
    outcome x, y;
    x.out = first;
    y.out = later;
    EXPECT_EQ(difference(x, y), "");
    // Close while compiling, again and again: nothing is left behind.
    for (int k = 0; k < 6; ++k) {
        sim_output out;
        ASSERT_EQ(simulate_model((k % 2 ? b : other).symbols(), sim_options{}, &out), sim_done);
        forget_kept_passes();
    }
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 0u);
    EXPECT_FALSE(messages.contains("interpreter")) << messages.joined();
}

// With tier 1 when hot (the viewer's way), a short run leaves each pass on
// its tier 0 code; a run a while after the passes were made, or a run still
// going by then, has tier 1 compiled; entering a live mode queues every
// waiting tier 1 at once. A pass dropped while it waits leaves nothing
// behind. The values are the loop's throughout.
TEST_F(NativeTier, Tier1WaitsUntilThePassIsHotOrALiveModeBegins) {
    compile_every_level(); // the order of first compiles
    model_builder b("large");
    sim_program p;
    outcome loop;
    ASSERT_NO_FATAL_FAILURE(large_program(b, p, loop));
    forget_kept_passes();
    set_native_tier1_when_hot(true);
    set_native_mode(nm_auto);
    struct restore {
        ~restore() {
            set_native_tier1_when_hot(false);
            set_native_live(false);
            set_native_hot_after(native_hot_after);
        }
    } restored;
    auto run = [&] {
        outcome o;
        o.result = run_program(b.symbols(), p, sim_options{}, &o.out);
        EXPECT_EQ(difference(o, loop), "");
    };
    // Never hot by time: each pass keeps its tier 0.
    set_native_hot_after(std::chrono::hours(1));
    run();
    native_wait_idle();
    // Tier 0 of the two passes, taken by the run; no tier 1 compiled.
    EXPECT_EQ(native_live_passes(), 2u);
    run(); // builds the initial pass, whose tier 0 comes too
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 3u);
    // Hot as soon as they serve: the next run has every tier 1 compiled.
    set_native_hot_after(std::chrono::milliseconds(0));
    run();
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 6u);
    run(); // tier 1 taken, tier 0 freed
    EXPECT_EQ(native_live_passes(), 3u);
    set_native_hot_after(std::chrono::hours(1));

    // A run still going when its passes count as hot (here: at once) has
    // their tier 1 compiled after tier 0, without another run.
    forget_kept_passes();
    set_native_hot_after(std::chrono::milliseconds(0));
    run();
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 4u);
    set_native_hot_after(std::chrono::hours(1));

    // A live mode: no run needed for the waiting tier 1.
    forget_kept_passes();
    run();
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 2u);
    set_native_live(true);
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 4u);
    set_native_live(false);

    // Dropped while waiting.
    forget_kept_passes();
    run();
    native_wait_idle();
    forget_kept_passes();
    set_native_live(true);
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 0u);
}

// The worker's compiles as the test hook is told of them: (size, level).
std::mutex compiles_mutex;
std::vector<std::pair<std::size_t, int>> compiles_seen;
void note_compile(std::size_t instructions, int level) {
    std::lock_guard<std::mutex> g(compiles_mutex);
    compiles_seen.emplace_back(instructions, level);
}

// In a live mode a re-run spends its time in the passes run at every step:
// their tier 1 comes before any compile of the initial pass (run once a run,
// made at the second run), though the queue had that pass's tier 0 first.
// The runs keep the loop's values.
TEST_F(NativeTier, ALiveModeCompilesThePassesRunEveryStepBeforeTheInitialPass) {
    compile_every_level(); // the order of first compiles
    model_builder b("large");
    sim_program p;
    outcome loop;
    ASSERT_NO_FATAL_FAILURE(large_program(b, p, loop));
    ASSERT_EQ(loop.result, sim_done);
    set_native_mode(nm_auto);
    struct restore {
        ~restore() {
            set_native_compile_hook(nullptr);
            set_native_live(false);
            set_native_compiles_held(false);
        }
    } restored;
    auto run = [&] {
        outcome o;
        o.result = run_program(b.symbols(), p, sim_options{}, &o.out);
        EXPECT_EQ(difference(o, loop), "");
    };
    auto seen = [] {
        std::lock_guard<std::mutex> g(compiles_mutex);
        return compiles_seen;
    };
    {
        // Compiles an earlier run of this test noted would pass for this one's.
        std::lock_guard<std::mutex> g(compiles_mutex);
        compiles_seen.clear();
    }
    set_native_compile_hook(&note_compile);
    // What a first run has compiled: the passes run every step.
    run();
    native_wait_idle();
    std::set<std::size_t> every_step;
    for (const auto& [size, level] : seen()) every_step.insert(size);
    ASSERT_FALSE(every_step.empty());
    forget_kept_passes();
    native_wait_idle();
    {
        std::lock_guard<std::mutex> g(compiles_mutex);
        compiles_seen.clear();
    }
    // Entering the live mode: the worker holds the first compile while the
    // first re-run goes on the loop and the second makes the initial pass.
    set_native_live(true);
    set_native_compiles_held(true);
    run();
    for (int k = 0; k < 6000 && native_held_compiles() == 0; ++k) usleep(5000);
    ASSERT_GE(native_held_compiles(), 1u);
    run();
    set_native_compiles_held(false);
    native_wait_idle();
    const auto order = seen();
    std::vector<std::size_t> initial_at, tier1_at;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (!every_step.count(order[k].first))
            initial_at.push_back(k);
        else if (order[k].second == 1)
            tier1_at.push_back(k);
    }
    // Both tiers of the initial pass, each after every tier 1 of the others.
    ASSERT_EQ(initial_at.size(), 2u);
    ASSERT_FALSE(tier1_at.empty());
    EXPECT_GT(initial_at.front(), tier1_at.back());
    EXPECT_EQ(order[initial_at[0]].second, 0);
    EXPECT_EQ(order[initial_at[1]].second, 1);
    run(); // every pass on its tier 1
    EXPECT_EQ(native_live_passes(), 3u);
}

// Two models in turn: the second one's compile goes first. The first
// model's compile, under way when the second runs, stops before its next
// module (its other passes' compiles leave the queue unbegun), so the
// worker's next compile is the second model's, whose runs take the code
// with the loop's values.
TEST_F(NativeTier, AModelRunAfterAnotherHasItsCompileFirst) {
    compile_every_level(); // the order of first compiles
    model_builder first("first"), second("second");
    large_model(first, "0.1", 150);
    large_model(second, "0.2");
    ASSERT_TRUE(first.finish());
    ASSERT_TRUE(second.finish());
    sim_program p1, p2;
    ASSERT_EQ(generate_code(first.symbols(), p1), 1);
    ASSERT_EQ(order_program(first.symbols(), p1), 1);
    ASSERT_EQ(generate_code(second.symbols(), p2), 1);
    ASSERT_EQ(order_program(second.symbols(), p2), 1);
    const outcome loop = run(second, p2, im_euler, flat_loop);
    ASSERT_EQ(loop.result, sim_done);
    set_native_mode(nm_auto);
    const std::size_t dropped = native_dropped_compiles();
    set_native_compiles_held(true);
    outcome a;
    a.result = run_program(first.symbols(), p1, sim_options{}, &a.out);
    ASSERT_EQ(a.result, sim_done);
    // The worker has begun the first model's compile: wait for it to stop
    // at its first modules (a meeting point, not a timing).
    for (int k = 0; k < 6000 && native_held_compiles() == 0; ++k) usleep(5000);
    ASSERT_GE(native_held_compiles(), 1u);
    outcome b;
    b.result = run_program(second.symbols(), p2, sim_options{}, &b.out);
    set_native_compiles_held(false);
    native_wait_idle();
    EXPECT_EQ(native_dropped_compiles(), dropped + 1);
    // Both tiers of the second model's two passes, nothing of the first's.
    EXPECT_EQ(native_live_passes(), 4u);
    EXPECT_EQ(difference(b, loop), "");
    outcome c;
    c.result = run_program(second.symbols(), p2, sim_options{}, &c.out);
    EXPECT_EQ(difference(c, loop), "");
    ASSERT_TRUE(interp_begin(p2, second.symbols()));
    EXPECT_EQ(native_pass_count(), 2u);
    interp_end();
    forget_kept_passes();
    native_wait_idle();
    EXPECT_EQ(native_live_passes(), 0u);
}

// A pass split into modules compiled by several threads at once (its parts
// calling each other across modules) gives the bits of the pass compiled
// whole, at both tiers; every module's code is freed with the pass.
TEST_F(NativeTier, APassCompiledByManyThreadsGivesTheBitsOfOne) {
    model_builder b("split");
    large_model(b, "0.3", 150);
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    ASSERT_EQ(loop.result, sim_done) << loop.messages;
    for (road r : {native_code, optimised})
        for (int threads : {1, 2, 7}) {
            set_native_compile_threads(threads);
            forget_kept_passes();
            outcome native = simulate(b, r);
            EXPECT_EQ(native_live_passes(), 2u) << "threads " << threads;
            EXPECT_EQ(difference(native, loop), "") << "road " << r << " threads " << threads;
            EXPECT_EQ(native.messages, loop.messages);
        }
    forget_kept_passes();
    EXPECT_EQ(native_live_passes(), 0u);
}

// By default a tier 1 that fails leaves the pass on its tier 0 code, with no
// line saying it runs on the interpreter; when both tiers fail, one line.
TEST_F(NativeTier, ATier1ThatFailsLeavesThePassOnTier0) {
    model_builder b("tiers");
    large_model(b, "0.2");
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    for (int level : {1, -1}) {
        forget_kept_passes();
        native_wait_idle();
        set_native_compile_failure(true, level);
        set_flat_passes(true);
        set_native_mode(nm_auto);
        message_capture messages;
        outcome first, later;
        first.result = simulate_model(b.symbols(), sim_options{}, &first.out);
        native_wait_idle();
        later.result = simulate_model(b.symbols(), sim_options{}, &later.out);
        native_wait_idle(); // the initial pass, built at the second run, compiled
        EXPECT_EQ(difference(first, loop), "") << "level " << level;
        EXPECT_EQ(difference(later, loop), "") << "level " << level;
        std::string said = messages.joined();
        std::size_t lines = 0;
        for (std::size_t at = said.find("run on the interpreter"); at != std::string::npos;
             at = said.find("run on the interpreter", at + 1))
            ++lines;
        if (level == 1) {
            EXPECT_EQ(native_live_passes(), 3u); // tier 0's code, kept (initial pass too)
            EXPECT_EQ(lines, 0u) << said;
        } else {
            EXPECT_EQ(native_live_passes(), 0u);
            EXPECT_EQ(lines, 1u) << said;
        }
        set_native_compile_failure(false);
    }
}

// A long run switches from the loop to tier 0 and then to tier 1 as the
// worker hands them over, part way through; the values are the loop's.
TEST_F(NativeTier, ALongRunSwitchesTiersPartWayWithTheLoopsValues) {
    model_builder b("long");
    large_model(b, "0.1", 60);
    b.control(0, sanitized ? 500 : 3000, 0.125f, 1);
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    ASSERT_EQ(loop.result, sim_done);
    for (int k = 0; k < 3; ++k) {
        forget_kept_passes();
        set_flat_passes(true);
        set_native_mode(nm_auto);
        outcome o;
        message_capture messages;
        o.result = simulate_model(b.symbols(), sim_options{}, &o.out);
        EXPECT_EQ(difference(o, loop), "") << "run " << k << messages.joined();
    }
    native_wait_idle();
    forget_kept_passes();
    EXPECT_EQ(native_live_passes(), 0u);
}

// Each new program replaces the kept passes and frees their code; dropping
// the kept passes frees the last.
TEST_F(NativeTier, CompiledCodeIsFreedWithItsPasses) {
    model_builder one("one"), two("two");
    one.aux("a", "Time * 3");
    one.level("L", "a", "0");
    two.aux("b", "Time / 3");
    two.level("M", "b - M", "1");
    ASSERT_TRUE(one.finish());
    ASSERT_TRUE(two.finish());
    for (int k = 0; k < 40; ++k) {
        outcome o = simulate(k % 2 ? two : one, optimised);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        ASSERT_EQ(native_live_passes(), 2u) << "cycle " << k;
    }
    EXPECT_EQ(native_live_steps(), 1u); // the steps of the last model only
    forget_kept_passes();
    EXPECT_EQ(native_live_passes(), 0u);
    EXPECT_EQ(native_live_steps(), 0u);
    // Closing the model frees them too (the shell releases the engine's
    // storage for the model when it closes).
    ASSERT_EQ(simulate(one, optimised).result, sim_done);
    ASSERT_GE(native_live_passes(), 1u);
    ASSERT_EQ(native_live_steps(), 1u);
    release_run_storage();
    EXPECT_EQ(native_live_passes(), 0u);
    EXPECT_EQ(native_live_steps(), 0u);
}

// A small program's steps between saves run at tier 1 as one compiled
// function with both passes. Every way a step can stop inside it is finished as the
// passes' own code would finish it, and the run goes on or ends as on the
// loop, with the loop's messages and values to the bit. The cases are a
// level whose update overflows, a value not finite in the dynamic pass or
// in the rates, and NA met part way, which the loop finishes before the
// steps go on. Time-dependent inputs, smoothing (hidden states) and a
// lookup are in each model.
TEST_F(NativeTier, CompiledStepsGiveTheLoopsValuesAndEndAsItDoes) {
    struct step_case {
        const char* name;
        const char* expected; // in the messages ("": the run ends well)
        const char* rate;     // of Stock
        const char* extra;    // an auxiliary "odd", read by the rate of Other
    };
    const step_case cases[] = {
        {"plain", "", "flow - Stock * 0.05", "0"},
        {"level overflows", "Floating point error computing Stock at time 6",
         "IF THEN ELSE(Time > 5, 3e+38, 0)", "0"},
        {"dynamic", "Floating point error computing odd at time 7", "flow", "1 / (7 - Time)"},
        {"rates", "Floating point error computing Stock at time 9", "1 / (9 - Time)", "0"},
        {"NA part way", "", "flow", "IF THEN ELSE(Time > 3, gap, Time) * 2 + flow"},
    };
    for (const step_case& c : cases) {
        SCOPED_TRACE(c.name);
        model_builder b(c.name);
        b.control(0, 20, 0.5f, 2);
        b.lookup("curve", {{0, 1}, {5, 3}, {20, 2}});
        b.constant("gap", NA);
        b.aux("flow", "STEP(2, 3) + PULSE(4, 1) + RAMP(0.5, 1, 6) + curve(Time) + calm");
        b.aux("calm", "SMOOTH3(Time * 0.5, 2)");
        b.aux("odd", c.extra);
        b.level("Stock", c.rate, "1");
        b.level("Other", "odd * 0.5 + Stock * 0.01", "0");
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        if (*c.expected)
            EXPECT_NE(loop.messages.find(c.expected), std::string::npos) << loop.messages;
        else
            EXPECT_EQ(loop.result, sim_done) << loop.messages;
        for (road r : {native_code, optimised}) {
            SCOPED_TRACE(r == optimised ? "tier 1" : "tier 0");
            const std::size_t before = native_steps_made();
            outcome native = simulate(b, r);
            // Tier 1 only. Most steps are made by the compiled steps (a
            // saved step's passes run on their own, and so does the first).
            EXPECT_EQ(native_live_steps(), r == optimised ? 1u : 0u);
            if (r == optimised) {
                EXPECT_GT(native_steps_made() - before, 8u);
            } else {
                EXPECT_EQ(native_steps_made(), before);
            }
            EXPECT_EQ(native.messages, loop.messages);
            EXPECT_EQ(difference(native, loop), "");
        }
    }
}

// A ring of levels L0..L(count-1), each with an auxiliary a_i that reads
// its level times k and the next level.
void ring_of_levels(model_builder& b, int count, const char* k) {
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i), next = std::to_string((i + 1) % count);
        b.aux(("a" + n).c_str(), ("L" + n + " * " + k + " + L" + next + " * 0.001").c_str());
        b.level(("L" + n).c_str(), ("a" + n + " - L" + n + " * 0.03").c_str(), "10");
    }
}

// The steps compile the passes as their own compiles do: repeated units
// become loops there too (the passes' instructions as the compiler reads
// them are the same once the passes have been bound to a run).
TEST_F(NativeTier, CompiledStepsRollRepeatedUnitsAsThePassesDo) {
    model_builder b("repeated");
    b.control(0, 10, 0.5f, 1);
    ring_of_levels(b, 12, "0.02");
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    const std::size_t before = native_rolled_units();
    outcome native = simulate(b, optimised);
    EXPECT_EQ(native_live_steps(), 1u);
    // 12 auxiliaries and 12 rates, in the passes and again in the steps.
    EXPECT_GE(native_rolled_units() - before, 48u);
    EXPECT_EQ(difference(native, loop), "");
}

// The compiled steps of a small program leave out, in straight code too, the
// NA tests of results bounded by the slots they read: with small values that
// code runs throughout; a constant of 1e20 sends it to the fully tested code;
// an auxiliary that is exactly NA (-2^10 / 2^-100) and read again by the
// next one in the same pass keeps its test there (the loop makes the next
// one NA too; no level reads them, so the bounds hold). Every variant gives
// the loop's values and messages.
TEST_F(NativeTier, CompiledStepsBoundStraightCodeAndGiveWayAsTheLoopDoes) {
    struct variant {
        const char* name;
        float c, g, e;
    };
    for (const variant& v : {variant{"small", 0.5f, 1, 1}, variant{"1e20", 1e20f, 1, 1},
                             variant{"quotient NA", 0.5f, -1024, std::ldexp(1.0f, -100)}}) {
        SCOPED_TRACE(v.name);
        model_builder b("bounded steps");
        b.control(0, 10, 0.5f, 5);
        b.constant("c", v.c);
        b.constant("g", v.g);
        b.constant("e", v.e);
        // Each auxiliary of its own shape: nothing here is repeated.
        b.aux("q", "g / e");
        b.aux("a", "L0 * 0.5 + c * 0.001");
        b.aux("r", "a * 0.25 + q * 1e-40 - L1 * 0.01");
        b.aux("d", "MIN(a, L0) * 0.1 + L2 * L3 * 0.0001");
        b.level("L0", "a * 0.2 - L0 * 0.1", "10");
        b.level("L1", "d - L1 * 0.05", "20");
        b.level("L2", "a * 0.01 - L2 * 0.02", "30");
        b.level("L3", "0.1 - L3 * 0.01", "40");
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        const std::size_t parts = native_bounded_parts(), misses = native_bound_misses();
        outcome native = simulate(b, optimised);
        EXPECT_EQ(native_live_steps(), 1u);
        EXPECT_EQ(native.messages, loop.messages);
        EXPECT_EQ(difference(native, loop), "");
        EXPECT_GT(native_bounded_parts(), parts);
        if (v.c > 1e10f)
            EXPECT_GT(native_bound_misses(), misses);
        else
            EXPECT_EQ(native_bound_misses(), misses);
        if (v.g < 0) {
            std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
            EXPECT_EQ(loop.out.rows[last + static_cast<std::size_t>(slot_of(b, "r"))], NA);
        }
    }
}

// In compiled steps the rates pass runs only after the dynamic pass found
// every value it stored finite, so a rate that copies such a value is stored
// untested: ten rates copying ten auxiliaries (in lanes) and one copying a
// level (tested as ever). An auxiliary that divides by zero at time 4 is
// named as the loop names it; without it every road gives the loop's values.
TEST_F(NativeTier, CompiledStepsStoreCopiesOfTestedValuesAsTheLoopDoes) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "f3 divides by zero" : "finite");
        model_builder b("copied rates");
        b.control(0, 10, 0.5f, 5);
        for (int i = 0; i < 10; ++i) {
            std::string n = std::to_string(i);
            b.constant(("t" + n).c_str(), fails && i == 3 ? 4.0f : 100.0f + static_cast<float>(i));
            b.aux(("f" + n).c_str(), ("L" + n + " * 0.01 / (t" + n + " - Time)").c_str());
            b.level(("L" + n).c_str(), ("f" + n).c_str(), "10");
        }
        b.level("M", "L0", "0");
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        if (fails)
            ASSERT_NE(loop.messages.find("f3 at time 4"), std::string::npos) << loop.messages;
        else
            ASSERT_EQ(loop.result, sim_done) << loop.messages;
        const std::size_t before = native_steps_made();
        outcome native = simulate(b, optimised);
        EXPECT_EQ(native_live_steps(), 1u);
        EXPECT_GT(native_steps_made() - before, 4u);
        EXPECT_EQ(native.result, loop.result);
        EXPECT_EQ(native.messages, loop.messages);
        EXPECT_EQ(difference(native, loop), "");
    }
}

// Compiled steps update levels four at a time where the rates pass stored
// their rates four at a time (twelve rates in lanes): a level of such a four
// that overflows in the update at the second step is named as the loop
// names it, and the values before are the loop's.
TEST_F(NativeTier, CompiledStepsUpdateFourLevelsAtOnceAndNameTheOneThatOverflows) {
    for (bool overflows : {false, true}) {
        SCOPED_TRACE(overflows ? "L6 overflows" : "finite");
        model_builder b("fours");
        b.control(0, 10, 0.5f, 0.5f);
        for (int i = 0; i < 12; ++i) {
            std::string n = std::to_string(i);
            const bool big = overflows && i == 6;
            b.constant(("c" + n).c_str(), big ? 1e38f : 0.1f * static_cast<float>(i + 1));
            b.aux(("a" + n).c_str(), ("c" + n + " + L" + n + " * 1e-30").c_str());
            b.level(("L" + n).c_str(), ("a" + n).c_str(), big ? "2.5e38" : "10");
        }
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        if (overflows)
            ASSERT_NE(loop.messages.find("L6"), std::string::npos) << loop.messages;
        else
            ASSERT_EQ(loop.result, sim_done) << loop.messages;
        outcome native = simulate(b, optimised);
        EXPECT_EQ(native_live_steps(), 1u);
        EXPECT_EQ(native.result, loop.result);
        EXPECT_EQ(native.messages, loop.messages);
        EXPECT_EQ(difference(native, loop), "");
    }
}

// Where the rates pass copies a value into a level's rate, compiled steps
// carry that value to the next step's update in a register, and with a time
// step of exactly 1 they add the rate without multiplying it. Six levels
// whose rates copy auxiliaries (four of them in lanes), one copying a level
// and one computed, saved every third step so the steps are entered again
// and again from the rates in memory; with time steps of 1 and 0.25, and a
// copied rate that overflows its level from time 3. Values and messages are
// the loop's to the bit.
TEST_F(NativeTier, CompiledStepsCarryCopiedRatesAsTheLoopComputesThem) {
    for (float dt : {1.0f, 0.25f})
        for (bool overflows : {false, true}) {
            SCOPED_TRACE(std::string(dt == 1 ? "dt 1" : "dt 0.25") +
                         (overflows ? ", L4 overflows" : ""));
            model_builder b("carried");
            b.control(0, 12, dt, 3 * dt);
            for (int i = 0; i < 6; ++i) {
                const std::string n = std::to_string(i), next = std::to_string((i + 1) % 6);
                const bool big = overflows && i == 4;
                b.constant(("c" + n).c_str(), 0.01f * static_cast<float>(i + 1));
                b.aux(("f" + n).c_str(),
                      big ? "IF THEN ELSE(Time >= 3, 3e+38, 1)"
                          : ("c" + n + " * L" + next + " / (1 + L" + n + " * 0.01) + Time * 0.001")
                                .c_str());
                b.level(("L" + n).c_str(), ("f" + n).c_str(), big ? "1e37" : "10");
            }
            b.level("M", "L2", "0");
            b.level("N", "f1 * 0.5 - N * 0.125", "3");
            ASSERT_TRUE(b.finish());
            outcome loop = simulate(b, flat_loop);
            if (overflows)
                ASSERT_NE(loop.messages.find("L4"), std::string::npos) << loop.messages;
            else
                ASSERT_EQ(loop.result, sim_done) << loop.messages;
            const std::size_t before = native_steps_made();
            outcome native = simulate(b, optimised);
            EXPECT_EQ(native_live_steps(), 1u);
            EXPECT_GT(native_steps_made() - before, overflows ? 1u : 8u);
            EXPECT_EQ(native.result, loop.result);
            EXPECT_EQ(native.messages, loop.messages);
            EXPECT_EQ(difference(native, loop), "");
        }
}

// A dense-like model: each level's ratio and inflow come in turn in the
// dynamic order (the inflow reads the ratio), each ratio divided by
// (t_i - Time) and each inflow by (c_i - Time), so a chosen unit fails at a
// chosen time. The dynamic pass groups the ratios together and the inflows
// together, so they become loops.
void ratios_and_inflows(model_builder& b, int count, int ratio_fails, int inflow_fails) {
    b.control(0, 10, 1, 1);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i), next = std::to_string((i + 1) % count);
        b.constant(("t" + n).c_str(), i == ratio_fails ? 4.0f : 1000.0f + static_cast<float>(i));
        b.constant(("c" + n).c_str(), i == inflow_fails ? 4.0f : 2000.0f + static_cast<float>(i));
        b.level(("L" + n).c_str(), ("f" + n + " - L" + n + " * x" + n).c_str(), "1");
        b.aux(("x" + n).c_str(),
              ("(L" + n + " + L" + next + " * 0.5) / (t" + n + " - Time)").c_str());
        b.aux(("f" + n).c_str(),
              ("L" + next + " * 0.02 / (c" + n + " - Time) - x" + n + " * 0.1").c_str());
    }
    ASSERT_TRUE(b.finish());
}

TEST_F(NativeTier, IndependentUnitsOfOneShapeInTheDynamicPassBecomeLoops) {
    constexpr int count = 40;
    model_builder b("dense");
    ratios_and_inflows(b, count, -1, -1);
    sim_program p;
    ASSERT_EQ(generate_code(b.symbols(), p), 1);
    ASSERT_EQ(order_program(b.symbols(), p), 1);
    outcome loop = run(b, p, im_euler, flat_loop);
    ASSERT_EQ(loop.result, sim_done) << loop.messages;
    EXPECT_EQ(difference(run(b, p, im_euler, interpreter), loop), "");
    // Tier 0 compiles the passes alone: in the model's order only the rates
    // repeat (count units); grouped, the ratios and inflows do too.
    std::size_t before = native_rolled_units();
    EXPECT_EQ(difference(run(b, p, im_euler, native_code), loop), "");
    EXPECT_GE(native_rolled_units() - before, std::size_t{count} * 5 / 2);
    before = native_rolled_units();
    const std::size_t lanes = native_lane_units();
    EXPECT_EQ(difference(run(b, p, im_euler, optimised), loop), "");
    EXPECT_GE(native_rolled_units() - before, std::size_t{count} * 5 / 2);
    EXPECT_GE(native_lane_units() - lanes, std::size_t{count});
    for (int method : {im_rk4, im_rk_auto}) {
        outcome m = run(b, p, method, flat_loop);
        EXPECT_EQ(difference(run(b, p, method, interpreter), m), "") << method;
        EXPECT_EQ(difference(run(b, p, method, optimised), m), "") << method;
    }
}

// An inflow that fails comes before a later level's ratio that fails at the
// same time in the model's order, after it in the grouped pass: the inflow is
// named on every road, as the interpreter names it.
TEST_F(NativeTier, AValueNotFiniteInGroupedUnitsIsNamedInTheModelsOrder) {
    constexpr int count = 40;
    for (auto [ratio, inflow] : {std::pair{35, 30}, std::pair{2, 1}, std::pair{30, 35}}) {
        model_builder b("dense");
        ratios_and_inflows(b, count, ratio, inflow);
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
        const std::string first =
            ratio < inflow ? "x" + std::to_string(ratio) : "f" + std::to_string(inflow);
        outcome reference = run(b, p, im_euler, interpreter);
        ASSERT_NE(reference.messages.find("Floating point error computing " + first + " at time 4"),
                  std::string::npos)
            << reference.messages;
        for (road r : {flat_loop, native_code, optimised}) {
            outcome o = run(b, p, im_euler, r);
            EXPECT_EQ(o.messages, reference.messages) << "road " << r << ", " << first;
            EXPECT_EQ(difference(o, reference), "") << "road " << r << ", " << first;
        }
    }
}

// On the worker the steps are compiled after the passes; a run takes them
// when they are ready, and a run of the same program with another constant
// (a Livesweep re-run) keeps them.
TEST_F(NativeTier, CompiledStepsComeFromTheWorkerAndStayForReRuns) {
    model_builder b("worker");
    b.control(0, 100, 0.25f, 5);
    b.constant("k", 0.02f);
    ring_of_levels(b, 6, "k");
    ASSERT_TRUE(b.finish());
    outcome loop = simulate(b, flat_loop);
    forget_kept_passes();
    set_flat_passes(true);
    set_native_mode(nm_auto);
    sim_output first;
    ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &first), sim_done);
    native_wait_idle();
    EXPECT_EQ(native_live_steps(), 1u);
    const std::size_t before = native_steps_made();
    outcome later;
    later.result = simulate_model(b.symbols(), sim_options{}, &later.out);
    EXPECT_GT(native_steps_made() - before, 300u);
    EXPECT_EQ(difference(later, loop), "");
    // Another constant: the same code, the same steps.
    std::vector<float> values(later.out.value_slots, 0);
    std::vector<std::uint8_t> changed_slots(values.size(), 0);
    const auto k = static_cast<std::size_t>(slot_of(b, "k"));
    values[k] = 0.03f;
    changed_slots[k] = 1;
    sim_options o;
    o.setup_values = values.data();
    o.setup_changed = changed_slots.data();
    const std::size_t again = native_steps_made();
    outcome changed;
    changed.result = simulate_model(b.symbols(), o, &changed.out);
    EXPECT_GT(native_steps_made() - again, 300u);
    EXPECT_EQ(native_live_steps(), 1u);
    set_native_mode(nm_off);
    outcome changed_loop;
    changed_loop.result = simulate_model(b.symbols(), o, &changed_loop.out);
    EXPECT_EQ(difference(changed, changed_loop), "");
    EXPECT_NE(difference(changed, later), ""); // the constant went in
    // Closed while the worker compiles, again and again: nothing is left.
    set_native_mode(nm_auto);
    for (int k = 0; k < 6; ++k) {
        sim_output out;
        ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &out), sim_done);
        forget_kept_passes();
    }
    native_wait_idle();
    EXPECT_EQ(native_live_steps(), 0u);
    EXPECT_EQ(native_live_passes(), 0u);
}

// Levels over a range of cells, each flowing towards the next level's.
void ring_over_cells(model_builder& b, int levels, int cells) {
    std::vector<std::string> names;
    for (int i = 0; i < cells; ++i) names.push_back("cell " + std::to_string(i));
    std::vector<const char*> ptrs;
    for (auto& n : names) ptrs.push_back(n.c_str());
    b.range("cells", ptrs);
    b.constant("rate", 0.01f);
    for (int v = 0; v < levels; ++v) {
        const std::string me = "stock " + std::to_string(v) + "[cells]";
        const std::string next = "stock " + std::to_string((v + 1) % levels) + "[cells]";
        const std::string flow = "flow " + std::to_string(v) + "[cells]";
        b.level(me.c_str(), flow.c_str(), std::to_string(v + 1).c_str());
        b.aux(flow.c_str(), ("(" + next + " - " + me + ") * rate").c_str());
    }
}

// The worker compiles the steps of a program whose passes are short in
// lanes, not in instructions: eight units of four cells get compiled steps,
// eight of a hundred cells (as few instructions, 800 lanes a step) step
// through their passes' code. Either way the values are the loop's.
TEST_F(NativeTier, StepsOfManyLanesAreLeftToThePassesOwnCode) {
    for (int cells : {4, 100}) {
        model_builder b("lanes");
        b.control(0, 50, 0.5f, 1);
        ring_over_cells(b, 8, cells);
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        forget_kept_passes();
        set_flat_passes(true);
        set_native_mode(nm_auto);
        sim_output first;
        ASSERT_EQ(simulate_model(b.symbols(), sim_options{}, &first), sim_done);
        native_wait_idle();
        outcome later;
        later.result = simulate_model(b.symbols(), sim_options{}, &later.out);
        EXPECT_EQ(native_live_steps(), cells == 4 ? 1u : 0u) << cells << " cells";
        EXPECT_GE(native_live_passes(), 2u) << cells << " cells";
        EXPECT_EQ(difference(later, loop), "") << cells << " cells";
        forget_kept_passes();
        native_wait_idle();
    }
}

// Every test of the engine again with every pass compiled (in a child
// process, so no state is shared).
TEST(EnginePaths, EveryEngineTestPassesOnNativeCode) {
    if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
    if (sanitized) GTEST_SKIP() << "run by the Release build";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string cmd = std::string("KAVREL_NATIVE=1 '") + self +
                      "' --gtest_filter=-EnginePaths.*:NativeTier.* > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "run " << cmd << " to see the failures";
}

// Units of several lanes as native loops: every shape of step they compile,
// with lane counts below a vector, at a vector, not a multiple of it and past
// the chunk of 256, next to scalar units that read and feed them, with NA in
// one lane and a value below NA (not NA) in another; and a plain copy into
// the levels' rates; NA met for a few steps only. Every road gives the
// interpreter's values to the bit.
TEST_F(NativeTier, WideUnitsGiveTheLoopsValuesAtEveryLaneCount) {
    for (int lanes : {2, 7, 8, 9, 100, 257, 300}) {
        SCOPED_TRACE("lanes " + std::to_string(lanes));
        model_builder b("wide");
        b.control(0, 20, 0.5f, 0.5f);
        std::vector<std::string> names;
        for (int i = 0; i < lanes; ++i) names.push_back("e" + std::to_string(i));
        std::vector<const char*> ptrs;
        for (auto& n : names) ptrs.push_back(n.c_str());
        b.range("r", ptrs);
        // Sub-ranges read lane by lane from other lanes (gathers): every
        // second element, and a few in another order.
        std::vector<const char*> odd, some;
        for (int i = 1; i < lanes; i += 2) odd.push_back(ptrs[static_cast<std::size_t>(i)]);
        for (int i : {lanes - 1, 0, lanes / 2 + 1})
            if (i < lanes && (some.empty() || ptrs[static_cast<std::size_t>(i)] != some[0]))
                some.push_back(ptrs[static_cast<std::size_t>(i)]);
        b.range("odd", odd);
        b.range("some", some);
        std::vector<float> k, x0;
        for (int i = 0; i < lanes; ++i) {
            k.push_back(0.25f * static_cast<float>(i % 11) - 1);
            x0.push_back(0.5f + 0.125f * static_cast<float>(i % 7));
        }
        k[static_cast<std::size_t>(lanes / 2)] = NA;
        k[0] = -1e34f; // below NA, not NA
        b.constant_list("k[r]", k);
        b.constant_list("x0[r]", x0);
        b.constant("rate", 0.1f);
        b.level("X[r]", "speed[r]", "x0[r]");
        b.aux("speed[r]", "(X[r] - x0[r] * 0.5) * rate + total / 1000");
        b.aux("chain[r]", "X[r] * 2 + k[r] / 3 - X[r] * (X[r] - 1)");
        b.aux("cmp[r]", "(X[r] > k[r]) + (X[r] <= 1) * 2 + (X[r] = k[r]) * 4 + (X[r] <> 1) * 8 + "
                        "(X[r] < k[r]) * 16 + (X[r] >= 0.75) * 32");
        b.aux("logic[r]", "((X[r] > 1) :AND: (k[r] > 0)) + ((X[r] > 1) :OR: (k[r] > 0)) * 2 + "
                          "(:NOT: (X[r] > 1)) * 4");
        b.aux("most[r]", "MAX(X[r], k[r]) + MIN(k[r], X[r]) - MAX(0.5, X[r])");
        b.aux("neg[r]", "-X[r] * k[r] + -k[r]");
        b.aux("chosen[r]", "IF THEN ELSE(X[r] > total / 100, X[r] * 2, k[r] - 1)");
        b.aux("total", "SUM(X[r!]) + Time");
        b.aux("powered[r]", "X[r] ^ 1.5 - 2 ^ (1 / X[r])");
        // NA in one lane for a few steps only: the unit goes to its chunk
        // loops for a while and back to its loop.
        b.aux("switched[r]", "IF THEN ELSE((Time >= 2) :AND: (Time <= 3), k[r], X[r]) * 2 - X[r]");
        b.aux("gathered[odd]", "X[odd] * 3 - k[odd] / X[odd]");
        b.aux("picked[some]", "MAX(k[some], X[some]) - 1");
        b.level("Acc[r]", "chain[r]", "0");
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
        outcome reference = run(b, p, im_euler, interpreter);
        ASSERT_EQ(reference.result, sim_done) << reference.messages;
        // NA really flows in its lane (and only there).
        std::size_t last = (reference.out.times.size() - 1) * reference.out.value_slots;
        std::size_t chain = last + static_cast<std::size_t>(slot_of(b, "chain"));
        EXPECT_EQ(reference.out.rows[chain + static_cast<std::size_t>(lanes / 2)], NA);
        EXPECT_NE(reference.out.rows[chain], NA);
        outcome loop = run(b, p, im_euler, flat_loop);
        EXPECT_EQ(difference(loop, reference), "");
        std::size_t before = native_wide_loops();
        for (road r : {native_code, optimised}) {
            outcome native = run(b, p, im_euler, r);
            EXPECT_EQ(difference(native, reference), "") << (r == optimised ? "tier 1" : "tier 0");
        }
        // The tier 1 compile made the units loops (tier 0 calls the chunk loops).
        EXPECT_GE(native_wide_loops() - before, 6u);
    }
}

// A value that is not finite in one lane ends the run naming that lane, as
// the chunk loops name it, whether the lane is in the first chunk, a later
// one, the last vector (computed from the unit's end) or a unit of fewer
// lanes than a vector; lanes before it in other units stay as stored.
TEST_F(NativeTier, AWideLoopNamesTheLaneNotFiniteAsTheLoopDoes) {
    for (auto [lanes, bad] : {std::pair{5, 3}, {100, 0}, {100, 97}, {300, 130}, {300, 299}}) {
        SCOPED_TRACE("lanes " + std::to_string(lanes) + ", lane " + std::to_string(bad));
        model_builder b("bad lane");
        b.control(0, 10, 1, 1);
        std::vector<std::string> names;
        for (int i = 0; i < lanes; ++i) names.push_back("e" + std::to_string(i));
        std::vector<const char*> ptrs;
        for (auto& n : names) ptrs.push_back(n.c_str());
        b.range("r", ptrs);
        std::vector<float> when(static_cast<std::size_t>(lanes), 100);
        when[static_cast<std::size_t>(bad)] = 5;
        b.constant_list("when[r]", when);
        b.aux("before[r]", "Time * when[r] - 1");
        b.aux("ratio[r]", "1 / (Time - when[r]) * 2");
        b.level("Acc[r]", "ratio[r]", "0");
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        std::string expected = "Floating point error computing ratio[e" + std::to_string(bad) + "]";
        ASSERT_NE(loop.messages.find(expected), std::string::npos) << loop.messages;
        EXPECT_EQ(loop.messages, simulate(b, interpreter).messages);
        expect_both_tiers_as(b, loop);
    }
}

// Units that repeat one another are computed by a loop over them: NA in one
// unit of a run for a while, a value not finite in the middle of a run, a run
// broken by a unit of another shape, and operands a stride of 1, 2 and 0
// apart give the loop's values and messages at both tiers.
TEST_F(NativeTier, RepeatedUnitsComputedAsLoopsGiveTheLoopsValues) {
    for (bool overflow : {false, true}) {
        SCOPED_TRACE(overflow ? "not finite in f27" : "finite");
        model_builder b("rows");
        b.control(0, 10, 0.5f, 0.5f);
        b.constant("gap", NA);
        const int n = 40;
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            // k and t declared in turn: slots two apart.
            b.constant(("k" + k).c_str(), 0.01f * static_cast<float>(i + 1));
            b.constant(("t" + k).c_str(), 40.0f + static_cast<float>(i));
            b.constant(("s" + k).c_str(), i == 13 ? 3.0f : 100.0f);
            b.constant(("d" + k).c_str(), overflow && i == 27 ? 5.0f : 100.0f);
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i), k1 = std::to_string((i + 1) % n);
            b.level(("L" + k).c_str(),
                    i == 20 ? "f20 - L20 * 0.5"
                            : ("f" + k + " - L" + k + " * k" + k + " * x" + k).c_str(),
                    ("t" + k + " * 0.8").c_str());
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i), k1 = std::to_string((i + 1) % n);
            b.aux(("x" + k).c_str(), ("L" + k + " / t" + k).c_str());
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i), k1 = std::to_string((i + 1) % n);
            // NA from gap in f13 while Time is near 3 (an operand of *, so
            // the code computing f13 meets it; the comparison keeps it out
            // of the levels).
            b.aux(("f" + k).c_str(),
                  ("k" + k + " * L" + k1 + " * IF THEN ELSE(IF THEN ELSE(ABS(Time - s" + k +
                   ") < 1.5, gap, 1) * 2 < -1e+30, 1, 0.9) / (Time - d" + k + ")")
                      .c_str());
        }
        ASSERT_TRUE(b.finish());
        if (!overflow) {
            const std::size_t before = native_rolled_units();
            expect_every_road_as_the_loop(b);
            EXPECT_GE(native_rolled_units() - before, 2u * 2 * 2 * 19);
            continue;
        }
        outcome loop = simulate(b, flat_loop);
        ASSERT_NE(loop.messages.find("computing f27 at time 5"), std::string::npos)
            << loop.messages;
        for (road r : {native_code, optimised}) {
            const std::size_t before = native_rolled_units();
            outcome native = simulate(b, r);
            EXPECT_GT(native_rolled_units(), before);
            EXPECT_EQ(native.messages, loop.messages) << (r == optimised ? "tier 1" : "tier 0");
            EXPECT_EQ(difference(native, loop), "") << (r == optimised ? "tier 1" : "tier 0");
        }
    }
}

} // namespace

namespace {

// Repeated units whose operands are constants a stride of 2 apart, with
// other constants (unread) between them: `unread` fills those with NA.
void add_strided_rows(model_builder& b, int n, int na_at, bool unread_na) {
    b.control(0, 10, 0.5f, 0.5f);
    for (int i = 0; i < n; ++i) {
        std::string k = std::to_string(i);
        b.constant(("c" + k).c_str(), i == na_at ? NA : 0.5f + 0.01f * static_cast<float>(i));
        b.constant(("e" + k).c_str(), unread_na ? NA : 1.0f);
    }
    for (int i = 0; i < n; ++i) {
        std::string k = std::to_string(i), k1 = std::to_string((i + 1) % n);
        b.level(("L" + k).c_str(), ("c" + k + " * f" + k + " - L" + k + " * 0.1").c_str(), "10");
        b.aux(("f" + k).c_str(), ("L" + k1 + " * c" + k + " + 1").c_str());
    }
}

} // namespace

// The NA tests of the slots repeated units read are made after the units, 8
// slots at a time, only over the slots they read: NA in the first, a middle
// or the last unit's operand is found at both tiers (the values are the
// loop's), while NA in the slots between them, which no unit reads, hands
// nothing to the loop.
TEST_F(NativeTier, TheSlotsRepeatedUnitsReadAreTestedForNAAfterThem) {
    for (int na_at : {-1, 0, 17, 38, 39}) {
        SCOPED_TRACE("NA in c" + std::to_string(na_at));
        model_builder b("strided");
        add_strided_rows(b, 40, na_at, na_at < 0);
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        if (na_at >= 0) {
            // NA reaches the rate (and so the level) of its row alone.
            std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
            float row = loop.out.rows[last + static_cast<std::size_t>(slot_of(
                                                 b, ("f" + std::to_string(na_at)).c_str()))];
            EXPECT_EQ(row, NA);
        }
        const std::size_t rolled = native_rolled_units(), handed = native_handovers();
        expect_both_tiers_as(b, loop);
        EXPECT_GT(native_rolled_units(), rolled);
        if (na_at < 0)
            EXPECT_EQ(native_handovers(), handed);
        else
            EXPECT_GT(native_handovers(), handed);
    }
}

// A stored value that is not finite sends its part to the loop, which names
// it, whether later values flow from it through operations that keep it not
// finite (then their test covers it), only through ones that do not (a
// divisor, MIN, a comparison), or not at all.
TEST_F(NativeTier, AValueNotFiniteIsNamedHoweverLaterValuesUseIt) {
    for (const char* use : {"a * 2 + 1", "1 / a", "MIN(a, 5) + MAX(a, 5)", "(a > 1) * 3",
                            "IF THEN ELSE(a > 0, 1, 2)", "L * 2"}) {
        SCOPED_TRACE(use);
        model_builder b("named");
        b.control(0, 10, 1, 1);
        b.level("L", "r", "1");
        b.aux("a", "L * IF THEN ELSE(Time >= 3, 1e+30, 1) * 1e+10");
        b.aux("u", use);
        b.aux("w", "u - L");
        b.aux("r", "w * 0.01 + u * 0.001");
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        ASSERT_NE(loop.messages.find("computing a at time 3"), std::string::npos) << loop.messages;
        expect_both_tiers_as(b, loop);
    }
}

// Repeated units at tier 1 leave out the NA tests of results that cannot be
// NA while the slots they read stay under a bound, and test those slots
// instead: with small values the code so bounded runs throughout; a slot of
// -2^109 (twice which is NA) or of 1e20 sends the part to the fully tested
// code from then on; a quotient of small slots that is exactly NA (-2^10 /
// 2^-100) is not bounded, so its test stays (the bounded code meets it at
// the first step; the level it sends far below NA then leaves the bounds);
// every road gives the loop's values.
TEST_F(NativeTier, BoundedRepeatedUnitsGiveWayWhenASlotLeavesItsBounds) {
    struct variant {
        const char* name;
        float c, g, e;
        bool misses;
    };
    for (const variant& v : {variant{"small", 0.5f, 1, 1, false},
                             variant{"twice NA", std::ldexp(-1.0f, 109), 1, 1, true},
                             variant{"1e20", 1e20f, 1, 1, true},
                             variant{"quotient NA", 0.5f, -1024, std::ldexp(1.0f, -100), true}}) {
        SCOPED_TRACE(v.name);
        model_builder b("bounded");
        b.control(0, 10, 0.5f, 0.5f);
        const int n = 24;
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            const float step = 0.01f * static_cast<float>(i);
            b.constant(("c" + k).c_str(), i == 9 ? v.c : 0.5f + step);
            b.constant(("d" + k).c_str(), 2.0f + static_cast<float>(i));
            b.constant(("g" + k).c_str(), i == 9 ? v.g : 1 + step);
            b.constant(("e" + k).c_str(), i == 9 ? v.e : 1);
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            // d * L, a product of two slots, makes the bound 2^53 or so.
            b.level(("L" + k).c_str(),
                    ("(c" + k + " * 2 + 1) * 0.001 + d" + k + " * L" + k + " * 0.0001 + (g" + k +
                     " / e" + k + ") * 1e-40 - L" + k + " * 0.1")
                        .c_str(),
                    "10");
        }
        ASSERT_TRUE(b.finish());
        outcome loop = simulate(b, flat_loop);
        ASSERT_EQ(loop.result, sim_done) << loop.messages;
        const std::size_t parts = native_bounded_parts(), misses = native_bound_misses();
        outcome native = simulate(b, optimised);
        EXPECT_EQ(native.messages, loop.messages);
        EXPECT_EQ(difference(native, loop), "");
        EXPECT_GT(native_bounded_parts(), parts);
        EXPECT_EQ(native_bound_misses() > misses, v.misses);
        if (v.c < 0 || v.g < 0) {
            // The exact NA reached the rate: the level is far below its start.
            std::size_t last = (loop.out.times.size() - 1) * loop.out.value_slots;
            EXPECT_LT(loop.out.rows[last + static_cast<std::size_t>(slot_of(b, "L9"))], -1e30f);
        }
    }
}

// Repeated units at tier 1 are computed several at once in lanes: every
// operation a unit in lanes may hold (arithmetic, comparisons, logic, MIN,
// MAX, IF THEN ELSE, signs, ABS, SQRT, INTEGER, SAFE DIV, STEP), operands a
// stride of 1, 2, 4 and 0 apart, units left over after the lanes, NA in one unit
// for a while and a value not finite in one unit give the loop's values and
// messages.
TEST_F(NativeTier, UnitsInLanesGiveTheLoopsValuesAndMessages) {
    for (bool overflow : {false, true}) {
        SCOPED_TRACE(overflow ? "not finite in y17" : "finite");
        model_builder b("lanes");
        b.control(0, 8, 0.5f, 0.5f);
        b.constant("gap", NA);
        b.constant("w", 0.03f);
        const int n = 22;
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            // k, t, s and d declared in turn: slots four apart.
            b.constant(("k" + k).c_str(), 0.01f * static_cast<float>(i + 1));
            b.constant(("t" + k).c_str(), 4.0f + 0.25f * static_cast<float>(i));
            b.constant(("s" + k).c_str(), i == 13 ? 3.0f : 100.0f);
            b.constant(("d" + k).c_str(), overflow && i == 17 ? 5.0f : 100.0f);
        }
        for (int i = 0; i < n; ++i) {
            // p and q in turn: slots two apart.
            std::string k = std::to_string(i);
            b.constant(("p" + k).c_str(), 0.5f + 0.1f * static_cast<float>(i));
            b.constant(("q" + k).c_str(), 1.0f - 0.03f * static_cast<float>(i));
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i);
            b.level(("L" + k).c_str(), ("y" + k + " * 0.01 - L" + k + " * k" + k).c_str(),
                    ("t" + k).c_str());
        }
        for (int i = 0; i < n; ++i) {
            std::string k = std::to_string(i), L = "L" + k;
            std::string e = "IF THEN ELSE(" + L + " > t" + k + " * 0.9, ABS(" + L + " - t" + k +
                            ") * k" + k + ", MIN(" + L + ", t" + k + ") + MAX(k" + k +
                            ", w)) + SQRT(" + L + ") - INTEGER(k" + k + " * 100) / 7 + SAFE DIV(" +
                            L + ", INTEGER(k" + k + " * 100) - 4, 1) + STEP(1, 3) * k" + k +
                            " + (" + L + " >= 5) * 2 + (:NOT: (" + L + " < 2)) + ((" + L +
                            " > 1) :AND: (k" + k + " > 0.02)) - -" + L +
                            " * 0.001 + IF THEN ELSE(IF THEN ELSE(ABS(Time - s" + k +
                            ") < 1.5, gap, 1) * 2 < -1e+30, 1, 0) + 1 / (Time - d" + k + ") + p" +
                            k + " * L" + k + " - q" + k;
            b.aux(("y" + k).c_str(), e.c_str());
        }
        ASSERT_TRUE(b.finish()) << (b.errors().empty() ? "" : b.errors()[0]);
        const std::size_t lanes = native_lane_units();
        if (!overflow) {
            expect_every_road_as_the_loop(b);
        } else {
            outcome loop = simulate(b, flat_loop);
            ASSERT_NE(loop.messages.find("computing y17 at time 5"), std::string::npos)
                << loop.messages;
            expect_both_tiers_as(b, loop);
        }
        EXPECT_GE(native_lane_units() - lanes, 20u);
    }
}
