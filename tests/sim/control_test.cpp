// The simulation-control commands and their hooks.
#include <vector>

#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/sim/engine_fixture.h"

namespace {

std::vector<int> calls;

int fake_run_command(int id, int, int, int* result) {
    calls.push_back(id);
    *result = 1;
    return 1;
}
void fake_post(int id) {
    calls.push_back(id);
}

class Control : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        calls.clear();
        set_run_command_hook(&fake_run_command);
        set_post_command_hook(&fake_post);
        game_state = 0;
        livesweep_state = 0;
        sim_phase = phase_idle;
    }
    void TearDown() override {
        set_run_command_hook(nullptr);
        set_post_command_hook(nullptr);
        game_state = 0;
        livesweep_state = 0;
        sim_phase = phase_idle;
        stop_request = 0;
        clear_setup();
        close_model(0, 0);
    }
    message_capture messages;
};

TEST_F(Control, RunCommandsReachTheRunDriverWithItsIds) {
    EXPECT_EQ(sim_control_command(sc_simulate, 0, 0), 1);
    EXPECT_EQ(sim_control_command(sc_toolbar_run, 0, 0), 1);
    EXPECT_EQ(sim_control_command(sc_plausitest, 0, 0), 1);
    EXPECT_EQ(sim_control_command(sc_start_game, 0, 0), 1);
    game_state = 4;
    EXPECT_EQ(sim_control_command(sc_simulate, 0, 0), 1); // continues the game
    EXPECT_EQ(sim_control_command(sc_livesweep, 0, 0), 1);
    EXPECT_EQ(calls, (std::vector<int>{rc_simulate, rc_toolbar, rc_plausitest, rc_game, rc_game,
                                       rc_livesweep}));
    EXPECT_EQ(sim_control_command(632, 0, 0), 0); // not served
}

TEST_F(Control, StateCommandsChangeTheStateBytes) {
    EXPECT_EQ(sim_control_command(sc_stop, 0, 0), 0); // nothing runs
    EXPECT_EQ(stop_request, 0);
    sim_phase = phase_running;
    EXPECT_EQ(sim_control_command(sc_stop, 0, 0), 1);
    EXPECT_EQ(stop_request, 1);
    override_flags = 3;
    EXPECT_EQ(sim_control_command(sc_overrides_off, 0, 0), 1);
    EXPECT_EQ(override_flags, 0);
    livesweep_state = 2;
    EXPECT_EQ(sim_control_command(sc_livesweep, 0, 0), 1);
    EXPECT_EQ(livesweep_state, 0);
    EXPECT_TRUE(calls.empty());
    game_state = 2;
    EXPECT_EQ(sim_control_command(sc_end_game, 0, 0), 1);
    EXPECT_EQ(game_state, 0);
}

TEST_F(Control, SetupModeNeedsASoundModel) {
    EXPECT_EQ(sim_control_command(sc_setup, 0, 0), 0); // no model
    model_builder b("setup");
    b.constant("k", 4);
    b.aux("x", "k * 2");
    ASSERT_TRUE(b.finish());
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    EXPECT_EQ(sim_control_command(sc_setup, 0, 0), 1);
    EXPECT_EQ(sim_phase, phase_setup);
    ASSERT_NE(setup_copies(), nullptr);
    clear_setup();
    close_model(0, 0);
    model_builder bad("broken");
    add_symbol(bad.symbols(), "undefined thing", st_aux);
    bad.aux("y", "undefined thing");
    ASSERT_TRUE(bad.finish());
    model_pair mb = bad.release();
    close_model(mb.header, mb.symbols);
    sim_phase = phase_idle;
    EXPECT_EQ(enter_setup_mode(0), 0);
    EXPECT_EQ(sim_phase, phase_idle);
}

TEST_F(Control, PostedCommandsFollowTheGameState) {
    EXPECT_EQ(post_sim_command(0), 1);
    EXPECT_EQ(post_sim_command(1), 1);
    game_state = 2;
    EXPECT_EQ(post_sim_command(1), 1);
    EXPECT_EQ(post_sim_command(3), 1);
    EXPECT_EQ(post_sim_command(2), 0);
    EXPECT_EQ(calls, (std::vector<int>{sc_setup, sc_simulate, sc_continue_game, sc_livesweep}));
}

} // namespace

namespace {

TEST(DataSources, AreRegisteredOnlyForARunAndOncePerFile) {
    sim_phase = phase_idle;
    EXPECT_EQ(data_source_index("prices.xls"), -1);
    sim_phase = phase_preparing;
    int a = data_source_index("/tmp/prices.xls");
    int b = data_source_index("/tmp/PRICES.xls");
    int c = data_source_index("/tmp/costs.dat");
    sim_phase = phase_idle;
    EXPECT_GE(a, 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(c, a + 1);
    EXPECT_EQ(run_data_sources().size(), static_cast<std::size_t>(c + 1));
}

} // namespace

namespace {

std::vector<float> wip_seen;
std::int32_t wip_slot = 0;

void look_while_running() {
    std::vector<float> v;
    if (wip_values(wip_slot, v) == 3) wip_seen = v;
}

TEST(WipValues, GiveEveryElementOfAVariableWhileARunSaves) {
    init_vocabulary();
    model_builder b("wip");
    b.control(0, 2, 1, 1);
    b.range("r", {"a1", "a2", "a3"});
    b.constant_list("k[r]", {1, 2, 3});
    b.level("S[r]", "k[r]", "0");
    ASSERT_TRUE(b.finish());
    wip_slot = slot_of(b, "S");
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    set_sim_pump_hook(&look_while_running);
    wip_seen.clear();
    sim_output out;
    EXPECT_EQ(simulate_model(cur_model_symbols, sim_options{}, &out), sim_done);
    set_sim_pump_hook(nullptr);
    EXPECT_EQ(wip_seen, (std::vector<float>{2, 4, 6})); // the last save point
    std::vector<float> after;
    EXPECT_EQ(wip_values(wip_slot, after), 0); // nothing runs now
    EXPECT_STREQ(run_name_or_current(nullptr), "Current");
    close_model(0, 0);
}

} // namespace
