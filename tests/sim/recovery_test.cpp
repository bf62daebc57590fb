// Floating-point recovery, fatal built-in errors and the break flag: a run
// ends cleanly, names the variable and keeps what was computed.
#include <fstream>

#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

class Recovery : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        file_ = testing::TempDir() + "/recovery_" + std::to_string(counter_++) + ".kdf";
        std::remove(file_.c_str());
        message_capture::answer() = 6;
        stop_request = 0;
        run_kind = rk_ordinary;
    }
    void TearDown() override {
        set_sim_pump_hook(nullptr);
        stop_request = 0;
        run_kind = rk_ordinary;
    }
    bool file_exists() { return std::ifstream(file_).good(); }

    message_capture messages;
    std::string file_;
    static int counter_;
};
int Recovery::counter_ = 0;

TEST_F(Recovery, ANonFiniteResultEndsTheRunNamingTheVariableAndKeepsEarlierValues) {
    model_builder b("blowup");
    b.control(0, 10, 1, 1);
    b.aux("blowup", "1 / (5 - Time)");
    b.level("Sum", "blowup", "0");
    ASSERT_TRUE(b.finish());
    sim_options o;
    o.run_file = file_.c_str();
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_error_saved);
    EXPECT_TRUE(messages.contains("Floating point error computing blowup at time 5"))
        << messages.joined();
    ASSERT_EQ(out.times.size(), 5u);
    EXPECT_FLOAT_EQ(saved_value(out, 4, slot_of(b, "blowup")), 1);
    EXPECT_TRUE(file_exists());
    EXPECT_TRUE(sim_result_written(sim_error_saved));
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_EQ(value_array, nullptr);
}

TEST_F(Recovery, AnOverflowingLevelIsNamed) {
    model_builder b("overflow");
    b.control(0, 10, 1, 1);
    b.range("r", {"a1", "a2"});
    b.level("Big[r]", "Big[r] * Big[r]", "1e10");
    ASSERT_TRUE(b.finish());
    sim_options o;
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_error_saved);
    EXPECT_TRUE(messages.contains("Floating point error computing Big[a1]")) << messages.joined();
    EXPECT_FALSE(out.times.empty());
}

TEST_F(Recovery, ANegativeMessageStopsTheRunThroughTheEngineUnwind) {
    model_builder b("message");
    b.control(0, 10, 1, 1);
    b.aux("watch", "MESSAGE(\"limit passed\", IF THEN ELSE(Time >= 3, -1, 0))");
    ASSERT_TRUE(b.finish());
    sim_options o;
    sim_output out;
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_error_saved);
    EXPECT_TRUE(messages.contains("limit passed")) << messages.joined();
    EXPECT_EQ(out.times.size(), 3u);
}

void stop_at_first_save() {
    stop_request = 1;
}

TEST_F(Recovery, TheBreakFlagAsksWhetherToKeepTheResults) {
    model_builder b("break");
    b.control(0, 10, 1, 1);
    b.level("S", "1", "0");
    ASSERT_TRUE(b.finish());
    set_sim_pump_hook(&stop_at_first_save);
    sim_options o;
    o.run_file = file_.c_str();
    sim_output out;

    message_capture::answer() = 7; // No: give the run up
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_given_up);
    EXPECT_TRUE(messages.contains(save_results_question));
    EXPECT_FALSE(file_exists());

    message_capture::answer() = 6; // Yes: keep what was computed
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_stopped_saved);
    EXPECT_EQ(out.times.size(), 2u);
    EXPECT_TRUE(file_exists());

    message_capture::answer() = 2; // Cancel: go on
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_done);
    EXPECT_EQ(out.times.size(), 11u);

    run_kind = rk_livesweep; // a Livesweep re-run is dropped without a question
    std::size_t asked = messages.all().size();
    EXPECT_EQ(simulate_model(b.symbols(), o, &out), sim_given_up);
    EXPECT_EQ(messages.all().size(), asked);
}

TEST_F(Recovery, BadControlValuesRefuseTheRun) {
    model_builder b("controls");
    b.control(10, 0, 1, 1);
    b.level("S", "1", "0");
    ASSERT_TRUE(b.finish());
    EXPECT_EQ(simulate_model(b.symbols(), sim_options{}, nullptr), sim_refused);
    EXPECT_TRUE(messages.contains("FINAL TIME (0) must not come before INITIAL TIME (10)"));
    model_builder z("zero step");
    z.control(0, 10, 0, 1);
    z.level("S", "1", "0");
    ASSERT_TRUE(z.finish());
    EXPECT_EQ(simulate_model(z.symbols(), sim_options{}, nullptr), sim_refused);
    EXPECT_TRUE(messages.contains("TIME STEP must be a positive number"));
}

} // namespace
