// The initial pass through its kept flat form (and native code): built at the
// second run of a model's code, it gives what the interpreter gives unit by
// unit — the same values to the bit, the same error naming the same unit at
// the same time, with the values after the failing unit left as the
// interpreter leaves them — and a run that changes values between units
// (changed set-up values, input overrides) still gets them after their unit.
#include <cstring>
#include <string>
#include <vector>

#include "model/check.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/simdata.h"
#include "sim/timeloop.h"
#include "tests/sim/engine_fixture.h"

namespace {

struct built {
    model_builder b;
    sim_program p;
    explicit built(const char* name) : b(name) { init_vocabulary(); }
    void compile() {
        ASSERT_TRUE(b.finish());
        ASSERT_EQ(check_model(b.symbols()), 0);
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
    }
};

struct outcome {
    int result = 0;
    sim_output out;
    std::string messages;
};

outcome run(built& m, const sim_options& o = sim_options{}) {
    message_capture messages;
    outcome r;
    r.result = run_program(m.b.symbols(), m.p, o, &r.out);
    r.messages = messages.joined();
    return r;
}

// The first difference between two runs, as text ("" when none).
std::string difference(const outcome& x, const outcome& y) {
    return run_difference(x, y);
}

class InitialPass : public testing::Test {
protected:
    void TearDown() override {
        set_flat_passes(true);
        set_native_mode(nm_environment);
        forget_kept_passes();
    }

    // The modes the kept pass runs under: the flat loop, and both tiers when
    // this build has them.
    static std::vector<int> modes() {
        std::vector<int> m{nm_off};
        if (native_available()) m.insert(m.end(), {nm_tier0, nm_tier1});
        return m;
    }

    // The run of o on the interpreter alone.
    static outcome reference(built& m, const sim_options& o = sim_options{}) {
        forget_kept_passes();
        set_flat_passes(false);
        outcome r = run(m, o);
        set_flat_passes(true);
        return r;
    }

    // With Euler and RK4, the runs through the kept pass in every mode as
    // the reference.
    static void expect_every_method_as_reference(built& m) {
        for (int method : {im_euler, im_rk4}) {
            sim_options o;
            o.method = method;
            outcome ref = reference(m, o);
            ASSERT_EQ(ref.result, sim_done) << ref.messages;
            for (int mode : modes()) expect_kept_pass_as(m, ref, mode, o);
        }
    }

    // A run of o through the kept initial pass under native mode mode: a
    // first run keeps the passes, the second builds the initial one, the
    // third reuses it. Each must give the reference's outcome.
    static void expect_kept_pass_as(built& m, const outcome& ref, int mode,
                                    const sim_options& o = sim_options{}) {
        set_native_mode(mode);
        forget_kept_passes();
        const std::size_t builds = initial_pass_builds(), runs = initial_pass_runs();
        for (int k = 0; k < 3; ++k) {
            outcome flat = run(m, o);
            EXPECT_EQ(difference(flat, ref), "") << "mode " << mode << ", run " << k;
        }
        EXPECT_EQ(initial_pass_builds(), builds + 1) << "mode " << mode;
        EXPECT_EQ(initial_pass_runs(), runs + 2) << "mode " << mode;
    }
};

// Every kind of unit of the initial pass: constants, lookups, levels' initial
// values, INITIAL, SAMPLE IF TRUE, smoothing, delay and trend states set up
// from their inputs, a pipeline delay, random draws, the time functions,
// subscripted constants, levels and auxiliaries, and plain copies.
TEST_F(InitialPass, EveryUnitKindGivesTheInterpretersValuesWithEulerAndRungeKutta) {
    built m("kinds");
    model_builder& b = m.b;
    b.control(2, 8, 0.5f, 1);
    b.constant("k", 0.3f);
    b.constant("d", 2.5f);
    b.constant("seed", 7);
    b.lookup("tbl", {{0, 1}, {1, 3}, {4, 0.5f}});
    b.range("r", {"r1", "r2", "r3"});
    b.constant_list("x0[r]", {1.5f, -2, 4});
    b.aux("wave", "SIN(Time * k) * 3 + tbl(k * 4)");
    b.aux("scaled[r]", "x0[r] * k + tbl(x0[r])");
    b.aux("copied[r]", "scaled[r]");
    b.level("S", "wave - S * k", "wave * 2 + d");
    b.level("X[r]", "scaled[r] - X[r] * 0.1", "x0[r] / d");
    b.initial("start", "wave * 10 + S");
    b.aux("held", "INITIAL(S + wave)");
    b.aux("sampled", "SAMPLE IF TRUE(Time > 4, S, wave * 3)");
    b.aux("s1", "SMOOTH(wave, d)");
    b.aux("s3", "SMOOTH3 INIT(wave, d, start)");
    b.aux("d1", "DELAY1(wave + 4, d)");
    b.aux("d3", "DELAY3(S, d + 1)");
    b.aux("dn", "DELAY N(wave, d, 3, 4)");
    b.aux("t1", "TREND(wave + 20, d, 0.1)");
    b.aux("late", "DELAY FIXED(wave + Time, 3, -1)");
    b.aux("noise", "RANDOM UNIFORM(-1, 1, seed)");
    b.aux("timed", "STEP(2, 1) + RAMP(0.5, 1, 5) + PULSE(1, 3) + ABS(wave)");
    b.aux("sum", "s1 + s3 + d1 + d3 + dn + t1 + late + noise + timed + held + sampled + start");
    b.aux("flow", "sum * 0.01 - copied[r1]");
    b.level("Total", "flow", "sum + X[r2]");
    m.compile();
    expect_every_method_as_reference(m);
}

// Smoothing and delay states set up from their inputs in a pass that
// the native code runs through (no NA met, nothing handed to the loop):
// native code that read the states before they are set up would show.
TEST_F(InitialPass, HiddenStatesAreSetUpFromTheirInputsOnNativeCode) {
    built m("states");
    model_builder& b = m.b;
    b.control(1, 5, 0.25f, 1);
    b.constant("d", 2.5f);
    b.aux("wave", "SIN(Time) * 3 + 5");
    b.aux("s1", "SMOOTH(wave, d)");
    b.aux("s3", "SMOOTH3(wave * 2, d)");
    b.aux("d1", "DELAY1(wave + 4, d)");
    b.aux("d3", "DELAY3(wave, d + 1)");
    b.level("Total", "s1 + s3 + d1 + d3", "s1 + s3 + d1 + d3");
    m.compile();
    const std::size_t handovers = native_handovers();
    expect_every_method_as_reference(m);
    EXPECT_EQ(native_handovers(), handovers);
}

// A value of the initial pass that is not finite ends the run naming that
// unit at the initial time; units after it keep what they held (the flat
// form computes some of them before it checks). An error of a unit left to
// the interpreter (a negative delay time) is its own, as unit by unit.
TEST_F(InitialPass, AnErrorNamesTheSameUnitAndLeavesTheLaterValuesAsTheInterpreterDoes) {
    for (const char* failing : {"1 / (k - 0.25)", "DELAY FIXED(k, k - 1, 0)"}) {
        SCOPED_TRACE(failing);
        built m("failing");
        model_builder& b = m.b;
        b.control(3, 6, 1, 1);
        b.constant("k", 0.25f);
        b.aux("before", "k * 4 + 1");
        b.aux("blowup", failing);
        // Ordered after blowup (it reads it), finite all the same.
        b.aux("after", "IF THEN ELSE(Time > 100, blowup, before * 3 + Time)");
        b.aux("after2", "after + 1");
        b.level("L", "before", "after2 + blowup");
        m.compile();
        outcome ref = reference(m);
        ASSERT_EQ(ref.result, sim_error_saved) << ref.messages;
        ASSERT_NE(ref.out.error.find("blowup at time 3"), std::string::npos) << ref.out.error;
        for (int mode : modes()) expect_kept_pass_as(m, ref, mode);
    }
}

// Changed set-up values go in right after their unit, before the units that
// read them: a changed number through the kept pass (which must not store
// the model's number over it), the changed value of a computed unit (or of
// one element of a list of numbers) unit by unit.
TEST_F(InitialPass, ChangedSetupValuesReachTheUnitsThatReadThem) {
    built m("changed");
    model_builder& b = m.b;
    b.control(0, 4, 1, 1);
    b.constant("k", 2);
    b.constant("j", 3);
    b.range("r", {"r1", "r2"});
    b.constant_list("list[r]", {10, 20});
    b.aux("twice", "k * 2");
    b.aux("after", "twice + j + list[r2]");
    b.level("L", "twice", "k + after");
    m.compile();
    struct change {
        const char* name;
        float value;
        bool kept; // through the kept pass
        float l;   // L's initial value
    };
    for (const change& c : {change{"k", 5, true, 38}, change{"j", -1, true, 25},
                            change{"twice", 7, false, 32}, change{"list[r2]", 1, false, 10}}) {
        SCOPED_TRACE(c.name);
        std::vector<float> values(m.p.value_slots, 0);
        std::vector<std::uint8_t> changed(m.p.value_slots, 0);
        const std::string name = c.name;
        const auto at = name == "list[r2]" ? static_cast<std::size_t>(slot_of(b, "list")) + 1
                                           : static_cast<std::size_t>(slot_of(b, c.name));
        values[at] = c.value;
        changed[at] = 1;
        sim_options o;
        o.setup_values = values.data();
        o.setup_changed = changed.data();
        outcome ref = reference(m, o);
        ASSERT_EQ(ref.result, sim_done);
        EXPECT_EQ(ref.out.initial[static_cast<std::size_t>(slot_of(b, "L"))], c.l);
        for (int mode : modes()) {
            set_native_mode(mode);
            forget_kept_passes();
            run(m);
            run(m); // the initial pass is kept from here on
            const std::size_t runs = initial_pass_runs();
            EXPECT_EQ(difference(run(m, o), ref), "") << "mode " << mode;
            EXPECT_EQ(initial_pass_runs(), runs + c.kept) << "mode " << mode;
            // Nothing changed: the model's own values, through the kept pass.
            changed[at] = 0;
            EXPECT_EQ(run(m, o).out.initial[static_cast<std::size_t>(slot_of(b, "L"))], 29);
            EXPECT_EQ(initial_pass_runs(), runs + c.kept + 1) << "mode " << mode;
            changed[at] = 1;
        }
    }
}

// An input override holds a value (NA until the hook supplies it after the
// initial pass) that its unit's equation must not replace in that pass.
int supplied_slot = 0;
void supply(int) {
    value_array[supplied_slot] = 40;
}

TEST_F(InitialPass, OverriddenValuesStayOverTheirEquations) {
    built m("overridden");
    model_builder& b = m.b;
    b.control(0, 3, 1, 1);
    b.aux("a", "Time + 1");
    b.aux("uses a", "a * 2");
    b.level("L", "a", "uses a");
    m.compile();
    supplied_slot = slot_of(b, "a");
    std::vector<std::uint8_t> held(m.p.value_slots, 0);
    held[static_cast<std::size_t>(supplied_slot)] = 2;
    auto overridden = [&](auto&& body) {
        set_override_hook(&supply);
        override_held = held.data();
        override_flags = 1;
        body();
        override_flags = 0;
        override_held = nullptr;
        set_override_hook(nullptr);
    };
    outcome ref;
    overridden([&] { ref = reference(m); });
    ASSERT_EQ(ref.result, sim_done) << ref.messages;
    EXPECT_TRUE(is_na(ref.out.initial[static_cast<std::size_t>(slot_of(b, "uses a"))]));
    for (int mode : modes()) {
        // The kept passes warmed up without the override, then a run with it.
        set_native_mode(mode);
        forget_kept_passes();
        run(m);
        run(m);
        const std::size_t builds = initial_pass_builds();
        overridden([&] { EXPECT_EQ(difference(run(m), ref), "") << "mode " << mode; });
        EXPECT_EQ(initial_pass_builds(), builds); // the same code: nothing built
    }
}

// The kept initial pass is reused by the next runs of the same code, built
// again for other code, and forgotten with the model.
TEST_F(InitialPass, RunsOfOneCodeReuseThePassAndOtherCodeOrAForgetBuildsAgain) {
    built one("one"), other("other");
    for (built* m : {&one, &other}) {
        m->b.control(0, 2, 1, 1);
        m->b.constant("k", m == &one ? 1.5f : 2.5f);
        m->b.level("L", "k", "k * 3");
        m->compile();
    }
    set_native_mode(nm_off);
    forget_kept_passes();
    const std::size_t start = initial_pass_builds();
    run(one);
    EXPECT_EQ(initial_pass_builds(), start); // one run: no initial pass built
    run(one);
    run(one);
    run(one);
    EXPECT_EQ(initial_pass_builds(), start + 1);
    // Other code (another number in k's unit): its own pass at its second run.
    EXPECT_EQ(run(other).out.initial[static_cast<std::size_t>(slot_of(other.b, "L"))], 7.5f);
    EXPECT_EQ(initial_pass_builds(), start + 1);
    EXPECT_EQ(run(other).out.initial[static_cast<std::size_t>(slot_of(other.b, "L"))], 7.5f);
    EXPECT_EQ(initial_pass_builds(), start + 2);
    EXPECT_EQ(run(one).out.initial[static_cast<std::size_t>(slot_of(one.b, "L"))], 4.5f);
    EXPECT_EQ(initial_pass_builds(), start + 2);
    run(one);
    EXPECT_EQ(initial_pass_builds(), start + 3);
    forget_kept_passes();
    run(one);
    run(one);
    EXPECT_EQ(initial_pass_builds(), start + 4);
}

} // namespace
