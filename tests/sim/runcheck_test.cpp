// The engine's checking mode: a run on native code is repeated on the flat
// loop and must agree with it to the bit, or the process ends naming the
// first value that differs.
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "foundation/report.h"
#include "model/codegen.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"
#include "tests/support/run_builder.h"

namespace {

class CheckedRuns : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
        // Native code needs the flat passes (set, so that a death test's
        // child, which starts afresh, runs as its parent).
        set_flat_passes(true);
        b.control(0, 4, 1, 1);
        b.aux("a", "Time * 3");
        b.level("L", "a", "0");
        b.aux("blowup", "1 / (3 - Time)");
        ASSERT_TRUE(b.finish());
        ASSERT_EQ(generate_code(b.symbols(), p), 1);
        ASSERT_EQ(order_program(b.symbols(), p), 1);
        forget_kept_passes();
        native_wait_idle();
        set_native_mode(nm_tier0);
        set_native_check(true);
    }
    void TearDown() override {
        set_livesweep_save_hook(nullptr);
        run_kind = kind_;
        set_native_check_fault(-1);
        set_native_check(false);
        set_native_mode(nm_environment);
        forget_kept_passes();
    }
    std::uint8_t kind_ = run_kind;
    model_builder b{"checked"};
    sim_program p;
};

// One bit changed in one saved value of the native run: the check ends the
// run's process naming the value, its time and both floats.
TEST_F(CheckedRuns, ABitChangedInANativeRunEndsTheProcessNamingTheValue) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int slot = run_builder::slot_of(b.symbols(), "L");
    ASSERT_GT(slot, 0);
    // Saves at 0, 1 and 2 before the error at time 3; the fault is in L at 2.
    sim_output probe;
    set_native_check(false);
    ASSERT_EQ(run_program(b.symbols(), p, sim_options{}, &probe), sim_error_saved);
    ASSERT_EQ(probe.times.size(), 3u);
    set_native_check(true);
    set_native_check_fault(static_cast<long>(probe.times.size() + 2 * probe.value_slots) + slot);
    EXPECT_DEATH(
        {
            sim_output out;
            run_program(b.symbols(), p, sim_options{}, &out);
        },
        "Native check: .*differs.*: L at time 2.*loop 3 \\(0x40400000\\), native 3.*"
        "\\(0x40400001\\)");
}

// A Livesweep re-run keeps no rows: the values its save hook is given are
// checked, and the hook still gets them.
std::vector<float> seen;
void see(const float* values, std::uint32_t slots, int) {
    seen.insert(seen.end(), values, values + slots);
}

TEST_F(CheckedRuns, ALivesweepRerunIsCheckedAtItsSaveHook) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int slot = run_builder::slot_of(b.symbols(), "L");
    ASSERT_GT(slot, 0);
    run_kind = rk_livesweep;
    set_livesweep_save_hook(&see);
    seen.clear();
    sim_output out;
    EXPECT_EQ(run_program(b.symbols(), p, sim_options{}, &out), sim_error_saved);
    EXPECT_TRUE(out.rows.empty());
    // Rows of value_slots values from time 0 on, each first the time; the
    // hook saw them once although the run was made twice.
    std::uint32_t slots = out.value_slots;
    ASSERT_GT(slots, 0u);
    std::size_t at_two = seen.size();
    for (std::size_t r = 0; r + slots <= seen.size(); r += slots)
        if (seen[r] == 2.0f && at_two == seen.size()) at_two = r;
    ASSERT_LT(at_two, seen.size());
    EXPECT_EQ(seen.size() % slots, 0u);
    EXPECT_LE(seen.size() / slots, out.times.size() + 1);
    EXPECT_EQ(seen[at_two + static_cast<std::size_t>(slot)], 3.0f);
    set_native_check_fault(static_cast<long>(out.times.size() + at_two) + slot);
    EXPECT_DEATH(
        {
            sim_output again;
            run_program(b.symbols(), p, sim_options{}, &again);
        },
        "Native check: .*differs.*: L at time 2.*loop 3 \\(0x40400000\\)");
}

// Checked, a run gives what it gives unchecked: the same outcome, its error
// reported once, and its code compiled again for the next run (the check's
// own run on the loop leaves the native mode as it found it).
TEST_F(CheckedRuns, ACheckedRunEndsAsItWouldUncheckedAndLeavesTheModeAsItWas) {
    sim_output plain, checked;
    int plain_result, checked_result;
    {
        set_native_check(false);
        message_capture messages;
        plain_result = run_program(b.symbols(), p, sim_options{}, &plain);
        ASSERT_EQ(native_live_passes(), 2u);
    }
    set_native_check(true);
    for (int k = 0; k < 2; ++k) {
        message_capture messages;
        reset_report_counts();
        checked_result = run_program(b.symbols(), p, sim_options{}, &checked);
        EXPECT_EQ(report_counts[5], 1) << messages.joined();
        EXPECT_EQ(messages.all().size(), 1u) << messages.joined();
        // The steps' two passes, and from this second run of the code on,
        // the initial pass.
        EXPECT_EQ(native_live_passes(), 3u) << "run " << k;
    }
    EXPECT_EQ(checked_result, sim_error_saved);
    EXPECT_EQ(checked_result, plain_result);
    EXPECT_EQ(checked.error, plain.error);
    EXPECT_NE(checked.error.find("blowup"), std::string::npos) << checked.error;
    EXPECT_EQ(checked.rows, plain.rows);
    // A run of the initial pass alone saves nothing: empty lists compare.
    sim_options initial;
    initial.initial_only = true;
    sim_output start;
    EXPECT_EQ(run_program(b.symbols(), p, initial, &start), sim_done);
    EXPECT_TRUE(start.times.empty());
    EXPECT_FALSE(start.initial.empty());
}

// The check's own run on the loop writes no file, so a run file that cannot
// be written is the checked run's own outcome, whether the run reached FINAL
// TIME or ended early on an error (this model's, at Time 3), not a
// difference that ends the process.
TEST_F(CheckedRuns, ARunFileThatCannotBeWrittenFailsTheRunAsUnchecked) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    model_builder whole{"whole"};
    whole.control(0, 4, 1, 1);
    whole.level("L", "Time", "0");
    ASSERT_TRUE(whole.finish());
    sim_program q;
    ASSERT_EQ(generate_code(whole.symbols(), q), 1);
    ASSERT_EQ(order_program(whole.symbols(), q), 1);
    for (bool early : {false, true}) {
        SCOPED_TRACE(early ? "ended on an error" : "reached FINAL TIME");
        EXPECT_EXIT(
            {
                message_capture messages;
                sim_options o;
                o.run_file = "/no-such-folder-for-kavrel-runs/run.kdf";
                sim_output out;
                const int r = early ? run_program(b.symbols(), p, o, &out)
                                    : run_program(whole.symbols(), q, o, &out);
                std::exit(r == sim_write_failed ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }
}

// The check is asked for by KAVREL_NATIVE_VERIFY, read once a process: any
// text but "0" turns it on. Each setting is read in a process of its own.
TEST(NativeSettings, TheEnvironmentTurnsTheCheckOnUnlessItIsZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, bool> settings[] = {{"0", false}, {"1", true}, {"", false}};
    for (const auto& [text, on] : settings) {
        SCOPED_TRACE(std::string("KAVREL_NATIVE_VERIFY=") + text);
        EXPECT_EXIT(
            {
                setenv("KAVREL_NATIVE_VERIFY", text, 1);
                std::exit(native_check() ? 3 : 4);
            },
            testing::ExitedWithCode(on ? 3 : 4), "");
    }
}

// KAVREL_NATIVE picks the tier by one digit, 0 to 2; anything else is the
// automatic choice.
TEST(NativeSettings, TheEnvironmentPicksATierByOneDigit) {
    init_vocabulary();
    if (!native_available()) GTEST_SKIP() << "this build has no native code generator";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, int> settings[] = {
        {"0", nm_off}, {"2", nm_tier1}, {"10", nm_auto}, {"21", nm_auto}, {"x", nm_auto}};
    for (const auto& [text, mode] : settings) {
        SCOPED_TRACE(std::string("KAVREL_NATIVE=") + text);
        EXPECT_EXIT(
            {
                setenv("KAVREL_NATIVE", text, 1);
                set_native_mode(nm_environment);
                std::exit(native_mode());
            },
            testing::ExitedWithCode(mode), "");
    }
}

} // namespace
