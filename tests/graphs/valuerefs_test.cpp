// Value references against two runs of the population sample.
#include "graphs/sets/valuerefs.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/access.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/rundrv.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/common/message_log.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/run_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ValueRefs : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        run("base");
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        ASSERT_EQ(ensure_setup_copy(0), 1);
        ASSERT_EQ(set_setup_value(slot, 0.02f), 1);
        run("slow");
        ASSERT_EQ(loaded_run_names(1), 2);
        message_log::messages.clear();
    }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    void run(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    }
    // The value of a variable in a selected run at a time, read directly.
    static float at(const char* name, int selected, double time) {
        float v = NA;
        const float t = static_cast<float>(time);
        run_value_at_time(name, nullptr, model_rec->runs[selected].run, &v, &t, 1);
        return v;
    }
};

TEST_F(ValueRefs, NamesRunsTimesAndFormats) {
    const char* plain = "no references here";
    EXPECT_EQ(expand_message_refs(plain), plain); // the same string, not a copy

    const std::string end_value = format_number(at("Population", 0, model_rec->end), 0, nullptr);
    EXPECT_EQ(expand_value_refs("P=\\Population@END/."), "P=" + end_value + ".");
    EXPECT_EQ(expand_value_refs("\\ Population @ end /"), end_value);
    // The newest run is the first selected one: base is the second.
    const std::string base_end = format_number(at("Population", 1, model_rec->end), 0, nullptr);
    EXPECT_NE(base_end, end_value);
    EXPECT_EQ(expand_value_refs("\\Population&*2@END/"), base_end);
    EXPECT_EQ(expand_value_refs("\\Population&base@END/"), base_end);
    EXPECT_EQ(expand_value_refs("\\Population@START%.1f/"), "1000.0");
    EXPECT_EQ(expand_value_refs("\\Population@0%.2f/"), "1000.00");

    // The name part empty: the run's name; a run beyond the selected ones: none.
    EXPECT_EQ(expand_value_refs("\\&*2/"), "base");
    EXPECT_EQ(expand_value_refs("\\&*1/"), "slow");
    EXPECT_EQ(expand_value_refs("\\Population&*3/"), "--");
    EXPECT_EQ(expand_value_refs("\\Population&*0/"), "--");

    // Backslashes: a doubled one is one; one without a slash stays.
    EXPECT_EQ(expand_value_refs("a\\\\b"), "a\\b");
    EXPECT_EQ(expand_value_refs("a\\b"), "a\\b");
}

// A misspelled name used to show the run's name as if it were its value.
TEST_F(ValueRefs, AnUnknownNameShowsTheMissingValueAndSaysSo) {
    message_hook shell_hook = current_message_hook();
    set_message_hook(message_log::test_hook);
    EXPECT_EQ(expand_value_refs("\\Popluation@END/"), "--");
    set_message_hook(shell_hook);
    EXPECT_TRUE(message_log::said("No variable Popluation in run slow"));
}

TEST_F(ValueRefs, ChoicesPickATextByValue) {
    EXPECT_EQ(expand_value_refs("\\initial population?0=none?1000=thousand/"), "thousand");
    // Within half a percent of a choice's value matches; 995 is just outside.
    EXPECT_EQ(expand_value_refs("\\initial population?1004=near/"), "near");
    EXPECT_EQ(expand_value_refs("\\initial population?995=no/"), "1000");
    EXPECT_EQ(expand_value_refs("\\initial population?-1000=neg?x=bad/"), "1000");
    // Four per cent off is no match either way.
    EXPECT_EQ(expand_value_refs("\\initial population?1040=far/"), "1000");
    EXPECT_EQ(expand_value_refs("\\initial population?960=far/"), "1000");
}

// The part after '#' names the time base the time is measured along: Time
// itself gives the plain value, a name that is no time base no value at all
// (never the value along Time as if the part were not there).
TEST_F(ValueRefs, ATimeIsMeasuredAlongTheNamedTimeBase) {
    EXPECT_EQ(expand_value_refs("\\Population#Time@0%.0f/"), "1000");
    EXPECT_EQ(expand_value_refs("\\Population # Time @ 0 %.0f/"), "1000");
    EXPECT_EQ(expand_value_refs("\\Population#Population@0%.0f/"), "--");
    EXPECT_EQ(expand_value_refs("\\Population#@0%.0f/"), "1000"); // empty: Time
}

TEST_F(ValueRefs, ReportsTakeTheirVarTextsAndLongTextsAreWhole) {
    const std::vector<std::string> vars = {"initial population", "&*2"};
    int taken = 0;
    EXPECT_EQ(expand_value_refs("a \\/ b \\ / c \\/", &taken, &vars), "a 1000 b base c slow");
    EXPECT_EQ(taken, 3);

    std::string many;
    for (int i = 0; i < 200; ++i) many += "[\\initial population%.3f/]";
    const std::string out = expand_value_refs(many.c_str());
    std::string want;
    for (int i = 0; i < 200; ++i) want += "[1000.000]";
    EXPECT_EQ(out, want); // longer than any fixed buffer, nothing cut
}

} // namespace

#include "model/modelfile.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

// The message built-in shows the running simulation's values through the
// engine's hook.
TEST(ValueRefsInMessages, TheRunningSimulationsValuesAreShown) {
    init_vocabulary();
    message_capture messages;
    install_value_ref_hook();
    model_builder b("message");
    b.control(0, 10, 1, 1);
    b.level("Stock", "2", "5");
    b.aux("watch", "MESSAGE(\"Stock is \\Stock%.1f/ at \\Time/ \\Nothing/\", "
                   "IF THEN ELSE(Time >= 3, -1, 0))");
    ASSERT_TRUE(b.finish());
    // The simulated model is the open one, as it is when the user simulates.
    model_pair m = b.release();
    read_model_settings(m.header, m.symbols);
    const std::string dir = ::testing::TempDir();
    close_model(m.header, m.symbols, dir.c_str(), (dir + "/message.kmf").c_str());
    sim_options o;
    sim_output out;
    simulate_model(cur_model_symbols, o, &out);
    set_expand_refs_hook(nullptr);
    close_model(0, 0);
    EXPECT_TRUE(messages.contains("Stock is 11.0 at 3 -error-")) << messages.joined();
}

// A run that holds the variable but has no value at the time asked (before
// its first or after its last saved time) shows the missing value "--",
// never the number NA stands for.
TEST_F(ValueRefs, AMissingValueInTheRunShowsAsTwoDashes) {
    run_builder rb(cur_model_symbols);
    rb.times({0, 1, 2});
    rb.series("Population", {1000, 1010, 1020});
    ASSERT_EQ(rb.write(dir + "/gappy.kdf"), 1) << rb.error();
    ASSERT_EQ(load_runs(model_rec, -1, "gappy", 1, 0), 1);
    EXPECT_EQ(expand_value_refs("\\Population&gappy@10/"), "--");
    EXPECT_EQ(expand_value_refs("\\Population&gappy@-5/"), "--");
    // A format or a choice of texts does not turn it into a number.
    EXPECT_EQ(expand_value_refs("\\Population&gappy@10%.0f/"), "--");
    EXPECT_EQ(expand_value_refs("\\Population&gappy@10?0=none/"), "--");
    EXPECT_EQ(expand_value_refs("\\Population&gappy@2%.0f/"), "1020");
}

} // namespace
