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
        livesweep_state = ls_off;
        sim_phase = phase_idle;
    }
    void TearDown() override {
        set_run_command_hook(nullptr);
        set_post_command_hook(nullptr);
        game_state = 0;
        livesweep_state = ls_off;
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
    EXPECT_EQ(sim_control_command(642, 0, 0), 0); // not served
}

std::vector<int> window_calls;
int fake_window_command(int id, int, int) {
    window_calls.push_back(id);
    return 1;
}

TEST_F(Control, GameStepsAndWindowCommandsGoWhereTheyBelong) {
    // Move Forward and Move Backward mean nothing without a game: the
    // backward step never reaches the game's end.
    EXPECT_EQ(sim_control_command(sc_continue_game, 0, 0), 0);
    EXPECT_EQ(sim_control_command(sc_game_back, 0, 0), 0);
    game_state = 4;
    EXPECT_EQ(sim_control_command(sc_game_back, 0, 0), 1);
    EXPECT_EQ(sim_control_command(sc_continue_game, 0, 0), 1);
    EXPECT_EQ(game_state, 4);
    EXPECT_EQ(calls, (std::vector<int>{rc_game_back, rc_game}));
    // The choices and files are the shell's; without it they are refused.
    const int window_ids[] = {sc_pick_run_name, sc_pick_method,  sc_read_changes,
                              sc_write_changes, sc_reset_slider, sc_save_run_as};
    for (int id : window_ids) EXPECT_EQ(sim_control_command(id, 0, 0), 0) << id;
    window_calls.clear();
    set_window_command_hook(&fake_window_command);
    for (int id : window_ids) EXPECT_EQ(sim_control_command(id, 0, 0), 1) << id;
    set_window_command_hook(nullptr);
    EXPECT_EQ(window_calls, std::vector<int>(std::begin(window_ids), std::end(window_ids)));
}

TEST_F(Control, ResetAllDropsTheOnScreenChanges) {
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 0); // nothing to reset
    model_builder b("reset");
    b.constant("k", 4);
    b.aux("x", "k * 2");
    ASSERT_TRUE(b.finish());
    std::int32_t k = slot_of(b, "k");
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    ASSERT_EQ(set_setup_value(k, 9), 1);
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 1);
    ASSERT_EQ(ensure_setup_copy(0), 1);
    handle_lock<float> v(setup_copy);
    EXPECT_FLOAT_EQ(v.get()[k], 4);
    EXPECT_EQ(setup_copies()->changed[static_cast<std::size_t>(k)], 0);
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
    livesweep_state = ls_on;
    EXPECT_EQ(sim_control_command(sc_livesweep, 0, 0), 1);
    EXPECT_EQ(livesweep_state, ls_off);
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
    EXPECT_EQ(data_source_index(""), -1); // no name: no source
    EXPECT_EQ(data_source_index(nullptr), -1);
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

// Stop is taken from the moment a run initialises until it ends; before that
// (idle, preparing, set-up, Livesweep waiting) there is nothing to stop.
TEST_F(Control, StopIsTakenWhileARunInitialisesRunsOrSaves) {
    for (std::uint8_t phase : {phase_idle, phase_preparing, phase_setup, phase_livesweep_ready,
                               phase_initialising, phase_running, phase_saving}) {
        SCOPED_TRACE(phase);
        sim_phase = phase;
        stop_request = 0;
        const int want = phase >= phase_initialising ? 1 : 0;
        EXPECT_EQ(sim_control_command(sc_stop, 0, 0), want);
        EXPECT_EQ(stop_request, want);
    }
}

int asked = 0, ended = 0;
bool agree = false;
bool ask_reset() {
    ++asked;
    return agree;
}
void end_overrides() {
    ++ended;
    override_flags = 0;
}

// Overrides in force hold values a reset would not bring back: Reset All
// asks first; refused, nothing changes; agreed, the overrides end and the
// changes go. Overrides only set up (not in force) are not asked about.
TEST_F(Control, ResetAllAsksBeforeEndingOverridesInForce) {
    model_builder b("reset");
    b.constant("k", 4);
    b.aux("x", "k * 2");
    ASSERT_TRUE(b.finish());
    const std::int32_t k = slot_of(b, "k");
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    struct hooks {
        hooks() {
            set_reset_all_ask_hook(&ask_reset);
            set_overrides_off_hook(&end_overrides);
        }
        ~hooks() {
            set_reset_all_ask_hook(nullptr);
            set_overrides_off_hook(nullptr);
            override_flags = 0;
        }
    } in_force;
    asked = ended = 0;
    ASSERT_EQ(ensure_setup_copy(0), 1) << messages.joined();
    ASSERT_EQ(set_setup_value(k, 9), 1);
    override_flags = 1;
    agree = false;
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(override_flags, 1);
    ASSERT_NE(setup_copies(), nullptr);
    EXPECT_EQ(setup_copies()->changed[static_cast<std::size_t>(k)], 1);
    agree = true;
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 1);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(override_flags, 0);
    // Only set up: no question.
    ASSERT_EQ(ensure_setup_copy(0), 1);
    ASSERT_EQ(set_setup_value(k, 7), 1);
    override_flags = 2;
    EXPECT_EQ(sim_control_command(sc_reset_all, 0, 0), 1);
    EXPECT_EQ(asked, 2);
}

} // namespace
