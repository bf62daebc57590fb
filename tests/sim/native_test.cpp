// The native tier against the flat loop and the interpreter alone: the same
// values to the bit, the same errors naming the same variable, the loop after
// a compile that fails, and compiled code freed with its passes.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
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
    if (x.out.error != y.out.error) return "errors '" + x.out.error + "' and '" + y.out.error + "'";
    if (x.out.times.size() != y.out.times.size() || x.out.rows.size() != y.out.rows.size())
        return "saved counts";
    if (!x.out.times.empty() &&
        std::memcmp(x.out.times.data(), y.out.times.data(), 4 * x.out.times.size()) != 0)
        return "saved times";
    for (std::size_t i = 0; i < x.out.rows.size(); ++i)
        if (std::memcmp(&x.out.rows[i], &y.out.rows[i], 4) != 0)
            return "slot " + std::to_string(i % x.out.value_slots) + " at save " +
                   std::to_string(i / x.out.value_slots);
    return "";
}

class NativeTier : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
        // No code of earlier tests left (counts of live code start at 0).
        forget_kept_passes();
        native_wait_idle();
        ASSERT_EQ(native_live_passes(), 0u);
    }
    void TearDown() override {
        set_flat_passes(true);
        set_native_mode(nm_environment);
        set_native_compile_failure(false);
    }
};

TEST_F(NativeTier, RandomModelsGiveTheLoopsAndTheInterpretersValuesWithEveryMethod) {
    const char* count_text = std::getenv("KAVREL_GENERATED_MODELS");
    const std::uint64_t count = count_text  ? std::strtoull(count_text, nullptr, 10)
                                : sanitized ? 30
                                            : 120;
    std::size_t compiled = 0;
    for (std::uint64_t seed = 1001; seed < 1001 + count; ++seed) {
        model_builder b("native");
        seeded_source src(seed);
        random_model m = build_random_model(b, src);
        ASSERT_TRUE(b.finish()) << "seed " << seed;
        ASSERT_EQ(check_model(b.symbols()), 0) << "seed " << seed << "\n" << m.text;
        sim_program p;
        ASSERT_EQ(generate_code(b.symbols(), p), 1) << "seed " << seed;
        ASSERT_EQ(order_program(b.symbols(), p), 1) << "seed " << seed;
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
            }
            ASSERT_EQ(difference(native, reference), "")
                << "seed " << seed << " method " << method << "\n"
                << m.text;
        }
    }
    // Every model's passes were compiled (kept after its native run).
    EXPECT_EQ(compiled, 2 * 5 * count);
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
    for (road r : {native_code, optimised}) {
        outcome native = simulate(b, r);
        EXPECT_EQ(native.messages, loop.messages) << (r == optimised ? "tier 1" : "tier 0");
        EXPECT_EQ(difference(native, loop), "") << (r == optimised ? "tier 1" : "tier 0");
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
void large_model(model_builder& b, const char* scale) {
    b.control(0, 30, 0.25f, 1);
    b.lookup("curve", {{0, 0.2f}, {1, 1}, {3, 1.4f}});
    for (int i = 0; i < 20; ++i) {
        std::string n = std::to_string(i), next = std::to_string((i + 1) % 20);
        b.level(("L" + n).c_str(), ("f" + n).c_str(), "2");
        b.aux(("f" + n).c_str(),
              ("curve(L" + next + " / 3) * " + scale + " - MIN(L" + n + ", 4) * 0.05").c_str());
    }
}

// By default passes of a size that pays are compiled on the worker thread while the flat
// loop runs them; the runs after that use the code, with the same values.
// Closing the model while it compiles frees the code when the compile ends.
TEST_F(NativeTier, PassesSwitchToTheirCodeWhenTheWorkerHasCompiledIt) {
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
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &later), sim_done);
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
        outcome o = simulate(k % 2 ? two : one, native_code);
        ASSERT_EQ(o.result, sim_done) << o.messages;
        ASSERT_EQ(native_live_passes(), 2u) << "cycle " << k;
    }
    forget_kept_passes();
    EXPECT_EQ(native_live_passes(), 0u);
    // Closing the model frees them too (the shell releases the engine's
    // storage for the model when it closes).
    ASSERT_EQ(simulate(one, native_code).result, sim_done);
    ASSERT_GE(native_live_passes(), 1u);
    release_run_storage();
    EXPECT_EQ(native_live_passes(), 0u);
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

} // namespace
