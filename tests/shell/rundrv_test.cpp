// The run driver: a sample model simulated through run_command with the
// work-in-progress window, stopped by the break keys, its run loaded as the
// first selected run; the counters on every way out; the command-line text;
// and the changes-file command that reads before it resets.
// The run reader's header names a field "slots", which Qt's headers define as a
// macro: it comes before them.
#include "runs/runfile.h"

#include "rundrv_fixture.h"

#include "foundation/files.h"
#include "model/constants.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "runs/cache.h"
#include "runs/select.h"
#include "shell/changescmd.h"
#include "shell/filechoice.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/run.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
namespace td = test_driver;

namespace {

class RunDriver : public RunDriverTest {
protected:
    void SetUp() override {
        RunDriverTest::SetUp();
        if (HasFatalFailure()) return;
        wip_install_sim_hooks();
        slot_birth_rate_ = slot_of("birth rate");
        slot_lifetime_ = slot_of("average lifetime");
    }
    static std::int32_t slot_of(const char* name) {
        lock_model(0);
        symbol_id s = find_symbol(name);
        std::int32_t slot = s ? sym(s)->slot : -1;
        unlock_model(0);
        return slot;
    }
    static float setup_value(std::int32_t slot) {
        handle_lock<float> v(setup_copy);
        return v ? v.get()[slot] : -999.0f;
    }
    void expect_counters_down() const {
        EXPECT_EQ(modal_count, 0);
        EXPECT_EQ(busy_depth, 0);
        EXPECT_EQ(err_window_on, 0);
        EXPECT_TRUE(wip_wnd == nullptr || !IsWindowVisible(wip_wnd));
    }

    std::int32_t slot_birth_rate_ = -1, slot_lifetime_ = -1;
};

// The pump hook of the work-in-progress window, wrapped so a test can act at
// a given save point.
sim_pump_fn wip_pump = nullptr;
int pumps = 0;
int act_at = -1;
void (*action)() = nullptr;
int modal_during_run = 0;
bool panel_seen = false, stop_seen = false;
void counting_pump() {
    ++pumps;
    modal_during_run = modal_count;
    if (pumps == 3) {
        panel_seen = wip_wnd && IsWindowVisible(wip_wnd) && wip_line(1).find("Simulating") == 0;
        stop_seen = wip_stop_shown();
    }
    if (pumps == act_at && action) action();
    if (wip_pump) wip_pump();
}
void install_counting_pump(int at, void (*act)()) {
    wip_pump = sim_pump_hook();
    pumps = 0;
    panel_seen = stop_seen = false;
    act_at = at;
    action = act;
    set_sim_pump_hook(counting_pump);
}

TEST_F(RunDriver, SimulateRunsTheModelAndLoadsTheRunFirst) {
    set_run_name("base");
    install_counting_pump(-1, nullptr);
    int result = -1;
    EXPECT_EQ(run_command(rc_simulate, 0, 0, &result), 1);
    EXPECT_EQ(result, sim_done);
    EXPECT_TRUE(fs::exists(dir_ + "/base.kdf"));
    EXPECT_EQ(first_selected(), "base");
    EXPECT_GE(modal_during_run, 1000); // the run held the modal counter
    EXPECT_GT(pumps, 100);
    EXPECT_TRUE(panel_seen); // the progress panel showed the run with its Stop button
    EXPECT_TRUE(stop_seen);
    expect_counters_down();
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->run_command), "sim  base.kdf");
    // Through the engine's command handler, as the Model menu does it.
    set_run_name("second");
    EXPECT_EQ(sim_control_command(sc_simulate, 0, 0), 1);
    EXPECT_EQ(first_selected(), "second");
    EXPECT_EQ(model_rec->run_count, 2);
}

TEST_F(RunDriver, KeepModeStaysInSetUpAndOtherwiseLeavesIt) {
    ASSERT_EQ(sim_control_command(sc_setup, 0, 0), 1);
    ASSERT_EQ(sim_phase, phase_setup);
    set_run_name("kept");
    EXPECT_EQ(run_command(rc_simulate, 0, 1, nullptr), 1);
    EXPECT_EQ(sim_phase, phase_setup);
    set_run_name("left");
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    EXPECT_EQ(sim_phase, phase_idle);
    expect_counters_down();
}

TEST_F(RunDriver, NoModelNoRun) {
    close_model(0, 0);
    int result = -1;
    EXPECT_EQ(run_command(rc_simulate, 0, 0, &result), 0);
    EXPECT_EQ(result, 0);
    expect_counters_down();
}

TEST_F(RunDriver, AModelWithErrorsIsRefusedWithAStop) {
    set_header_word(cur_model_symbols, mh_flags,
                    get_header_word(cur_model_symbols, mh_flags) | mfl_has_errors);
    answerer::box("Stop from Kavrel").text("Model has errors - cannot be simulated").press(IDOK);
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 0);
    expect_counters_down();
    EXPECT_EQ(sim_phase, phase_idle);
}

void press_escape() {
    SetFocus(wip_wnd);
    td::press_key(VK_ESCAPE);
}
void press_ctrl_period() {
    SetFocus(wip_wnd);
    td::press_key(VK_OEM_PERIOD, td::ctrl);
}

// Simulates with the break key pressed at save point `at` and the save
// question answered; run_command's return, its result in result.
int run_broken_by(void (*key)(), int at, int answer, int& result) {
    install_counting_pump(at, key);
    answerer::box("Question from Kavrel").text("save the results so far").press(answer);
    result = -1;
    return run_command(rc_simulate, 0, 0, &result);
}

TEST_F(RunDriver, EscapeThenNoGivesUpTheRunQuietly) {
    set_run_name("stopped");
    int result = -1;
    EXPECT_EQ(run_broken_by(press_escape, 20, IDNO, result), 0);
    EXPECT_EQ(result, sim_given_up);
    EXPECT_FALSE(fs::exists(dir_ + "/stopped.kdf"));
    EXPECT_EQ(model_rec->run_count, 0);
    EXPECT_LT(pumps, 100);                  // it stopped early
    ASSERT_EQ(answerer::seen().size(), 1u); // the question, and no other box
    expect_counters_down();
}

TEST_F(RunDriver, BreakKeyThenYesKeepsAndLoadsThePartialRun) {
    set_run_name("partial");
    int result = -1;
    EXPECT_EQ(run_broken_by(press_ctrl_period, 30, IDYES, result), 1);
    EXPECT_EQ(result, sim_stopped_saved);
    EXPECT_TRUE(fs::exists(dir_ + "/partial.kdf"));
    EXPECT_EQ(first_selected(), "partial");
    EXPECT_LT(model_rec->full_end, 100.0f); // only part of 0..200 was saved
    expect_counters_down();
}

TEST_F(RunDriver, CancelOnTheBreakQuestionContinuesTheRun) {
    set_run_name("continued");
    int result = -1;
    EXPECT_EQ(run_broken_by(press_escape, 10, IDCANCEL, result), 1);
    EXPECT_EQ(result, sim_done);
    EXPECT_GT(pumps, 100);
    expect_counters_down();
}

void throw_fatal() {
    report(9, "Insufficient memory to allocate handle for %u bytes", 12u);
}

TEST_F(RunDriver, AnUnwindOutOfARunLowersBothCounters) {
    set_run_name("unwound");
    install_counting_pump(5, throw_fatal);
    answerer::box("Fatal Error for Kavrel").press(IDOK);
    EXPECT_THROW(run_command(rc_simulate, 0, 0, nullptr), fatal_unwind);
    expect_counters_down();
}

TEST_F(RunDriver, LivesweepRunsLowerBothCountersToo) {
    // With a run loaded, entering Livesweep writes nothing either.
    set_run_name("first");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    set_run_name("sweep");
    install_counting_pump(-1, nullptr);
    // The first request enters Livesweep, the next ones re-run.
    int result = 0;
    EXPECT_EQ(run_command(rc_livesweep, 0, 0, &result), 1);
    EXPECT_EQ(livesweep_state, ls_on);
    expect_counters_down();
    EXPECT_EQ(run_command(rc_livesweep, 0, 0, &result), 1);
    EXPECT_EQ(result, sim_done);
    EXPECT_GE(modal_during_run, 1000);
    expect_counters_down();
    // The engine's re-run writes no run file (the values go to the cache).
    EXPECT_FALSE(fs::exists(dir_ + "/sweep.kdf"));
    EXPECT_EQ(first_selected(), "first");
    // Leaving Livesweep asks first.
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDNO);
    EXPECT_EQ(leave_sim_mode(1), 0);
    EXPECT_EQ(livesweep_state, ls_on);
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    EXPECT_EQ(leave_sim_mode(1), 1);
    EXPECT_EQ(livesweep_state, ls_off);
}

TEST_F(RunDriver, LivesweepShowsTheRunBeingMadeElseTheFirstSelected) {
    // The program's hooks: the value cache from the model's opening on, the
    // re-run's save steps into the shown run's arrays.
    reset_value_cache(-1, 1, 1);
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    install_cache_livesweep_hook();
    const std::int32_t pop = slot_of("Population");
    ASSERT_GE(pop, 0);
    auto last_value = [&](int run_slot) {
        const float* values = nullptr;
        int n = cached_series(pop, nullptr, &values, run_slot);
        return n > 0 && values ? values[n - 1] : -1.0f;
    };
    // No run loaded: the run of the present values is made first under the
    // run name being made, written and loaded as a plain Simulate makes it,
    // and shown; the re-runs stand in for it.
    set_run_name("base");
    ASSERT_EQ(model_rec->run_count, 0);
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, nullptr), 1);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_EQ(first_selected(), "base");
    EXPECT_TRUE(std::filesystem::exists(dataset_path("base.kdf")));
    EXPECT_EQ(shown_run_slot(), 0);
    EXPECT_EQ(shown_run_index(), model_rec->runs[0].run);
    const float made = last_value(0);
    EXPECT_GT(made, 0.0f);
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    ASSERT_EQ(leave_sim_mode(1), 1);

    // The same run as a plain Simulate of the same values.
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    EXPECT_EQ(loaded_run_names(1), 1);
    EXPECT_EQ(last_value(0), made);
    set_run_name("second");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    ASSERT_EQ(first_selected(), "second"); // base is now run slot 1
    const float before = last_value(1);
    ASSERT_GT(before, 0.0f);

    // Sweeping over "base": its slot is the one the re-runs replace.
    set_run_name("base");
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, nullptr), 1);
    EXPECT_EQ(shown_run_slot(), 1);
    EXPECT_EQ(shown_run_index(), model_rec->runs[1].run);
    EXPECT_EQ(last_value(1), before); // read from its file until a re-run
    ASSERT_EQ(set_setup_value(slot_birth_rate_, setup_value(slot_birth_rate_) * 2), 1);
    int result = -1;
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, &result), 1);
    EXPECT_EQ(result, sim_done);
    EXPECT_EQ(shown_run_slot(), 1);
    EXPECT_GT(last_value(1), before); // more births: the re-run's values are shown
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    ASSERT_EQ(leave_sim_mode(1), 1);

    // A name that is not selected: the first selected run is shown.
    set_run_name("fresh");
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, nullptr), 1);
    EXPECT_EQ(shown_run_slot(), 0);
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    ASSERT_EQ(leave_sim_mode(1), 1);
}

TEST_F(RunDriver, KeepingTheRunFileLivesweepWouldWriteLeavesNoDeadMode) {
    reset_value_cache(-1, 1, 1);
    set_livesweep_refresh_hook(shell_livesweep_refresh);
    install_cache_livesweep_hook();
    // A run file of the name on disk, but no run loaded.
    set_run_name("kept");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    const char* made[] = {"kept"};
    ASSERT_EQ(set_runs1(-5, made, 1), 1);
    ASSERT_EQ(model_rec->run_count, 0);
    const std::string file = dataset_path("kept.kdf");
    const auto size = fs::file_size(file);
    const auto stamp = fs::last_write_time(file);
    ask_dataset_overwrite = true;

    // No: the file is kept and the mode does not start, with a word why.
    answerer::box("Question from Kavrel").text("kept.kdf exists").press(IDNO);
    answerer::box("Message from Kavrel").text("Livesweep was not started").press(IDOK);
    int result = -1;
    EXPECT_EQ(run_command(rc_livesweep, 0, 0, &result), 0);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_FALSE(in_sim_mode());
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_EQ(fs::file_size(file), size);
    EXPECT_EQ(fs::last_write_time(file), stamp);
    expect_counters_down();
    // A plain run works as ever afterwards (nothing is left half in the mode).
    answerer::box("Question from Kavrel").text("kept.kdf exists").press(IDYES);
    ASSERT_EQ(run_command(rc_simulate, 0, 0, &result), 1);
    EXPECT_EQ(result, sim_done);
    ASSERT_EQ(set_runs1(-5, made, 1), 1);
    ASSERT_EQ(model_rec->run_count, 0);

    // Yes: the mode starts, shows the run, and a re-run changes what it shows.
    answerer::box("Question from Kavrel").text("kept.kdf exists").press(IDYES);
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, nullptr), 1);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_EQ(shown_run_slot(), 0);
    const std::int32_t pop = slot_of("Population");
    const float* values = nullptr;
    int n = cached_series(pop, nullptr, &values, 0);
    ASSERT_GT(n, 0);
    const float before = values[n - 1];
    ASSERT_EQ(set_setup_value(slot_birth_rate_, setup_value(slot_birth_rate_) * 2), 1);
    ASSERT_EQ(run_command(rc_livesweep, 0, 0, &result), 1);
    n = cached_series(pop, nullptr, &values, 0);
    ASSERT_GT(n, 0);
    EXPECT_GT(values[n - 1], before);
    ask_dataset_overwrite = false;
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    ASSERT_EQ(leave_sim_mode(1), 1);
}

TEST_F(RunDriver, RefusingToOverwriteRunsNothing) {
    set_run_name("same");
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    ask_dataset_overwrite = true;
    answerer::box("Question from Kavrel").text("exists").press(IDNO);
    int result = -1;
    EXPECT_EQ(run_command(rc_simulate, 0, 0, &result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sim_phase, phase_idle);
    expect_counters_down();
}

const char* dde_request = nullptr;
const char* pending_dde_request() {
    return dde_request;
}

TEST_F(RunDriver, ADdeRequestSayingOverwriteIsNotAskedAboutTheRunFile) {
    set_run_name("served");
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    ask_dataset_overwrite = true;
    set_dde_pending_hook(pending_dde_request);
    // "O" (either case): no question; the run is made over the old file.
    for (const char* request : {"O", "overwrite"}) {
        dde_request = request;
        EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1) << request;
        EXPECT_TRUE(answerer::seen().empty()) << request;
    }
    // Any other request asks as the user would be asked.
    dde_request = "N";
    answerer::box("Question from Kavrel").text("exists").press(IDNO);
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 0);
    EXPECT_EQ(answerer::pending(), 0u);
    set_dde_pending_hook(nullptr);
    dde_request = nullptr;
    expect_counters_down();
}

TEST_F(RunDriver, EndingAGameIsAskedWhenItsWindowIsOpen) {
    game_state = 2;
    game_window_open = true;
    answerer::box("Question from Kavrel").text("end the current game??").press(IDNO);
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 0);
    EXPECT_EQ(game_state, 2);
    answerer::box("Question from Kavrel").text("end the current game??").press(IDYES);
    set_run_name("after game");
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    EXPECT_EQ(game_state, 0);
    game_window_open = false;
    expect_counters_down();
}

TEST_F(RunDriver, TheCommandLineListsTheSwitchesInOrder) {
    run_setup& s = model_rec->setup;
    s.run_name = ctx_set_text(model_rec, s.run_name, "r1");
    s.changes = ctx_set_text(model_rec, s.changes, "a.cin b.cin");
    s.data_sources = ctx_set_text(model_rec, s.data_sources, "data.xls");
    EXPECT_STREQ(sim_command_line(), "sim  r1 -c a.cin b.cin -d data.xls");
    s.i_flag = 1;
    s.r_flag = 1;
    s.k_flag = 1;
    s.payoff = ctx_set_text(model_rec, s.payoff, "pay.kpd");
    s.sens = ctx_set_text(model_rec, s.sens, "sens.ksc");
    s.a_text = ctx_set_text(model_rec, s.a_text, "A");
    model_rec->run_optimise = 1;
    s.opt_file = ctx_set_text(model_rec, s.opt_file, "opt.koc");
    EXPECT_STREQ(
        sim_command_line(),
        "sim  r1 -I -c a.cin b.cin -o opt.koc -p pay.kpd -r  -d data.xls -a A -b sens.ksc -k ");
    // The program-wide -w comes after the sensitivity text, before -k.
    run_option_w = 1;
    EXPECT_NE(std::string(sim_command_line()).find(" -b sens.ksc -w  -k "), std::string::npos)
        << sim_command_line();
    run_option_w = 0;
    s.s_over_b = 1;
    EXPECT_NE(std::string(sim_command_line()).find(" -s sens.ksc"), std::string::npos);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->run_command), sim_command_line());
}

// ------------------------------------------------------------ changes ---

TEST_F(RunDriver, ABadChangesFileNeverCostsTheOnScreenChanges) {
    ASSERT_EQ(ensure_setup_copy(0), 1);
    ASSERT_EQ(set_setup_value(slot_lifetime_, 75), 1);
    std::ofstream(dir_ + "/bad.cin") << "birth rate = abc\n";
    EXPECT_EQ(read_additional_changes_from((dir_ + "/bad.cin").c_str()), 0);
    EXPECT_EQ(read_additional_changes_from((dir_ + "/missing.cin").c_str()), 0);
    // No question was asked and the change is still there.
    for (const auto& s : answerer::seen()) EXPECT_NE(s.caption, "Question from Kavrel");
    EXPECT_FLOAT_EQ(setup_value(slot_lifetime_), 75);
    ASSERT_NE(setup_copies(), nullptr);
    EXPECT_EQ(setup_copies()->changed[static_cast<std::size_t>(slot_lifetime_)], 1);
}

TEST_F(RunDriver, AGoodChangesFileAsksThenResetsOrKeeps) {
    std::ofstream(dir_ + "/good.cin") << "birth rate = 0.05\n";
    std::string good = dir_ + "/good.cin";
    ASSERT_EQ(ensure_setup_copy(0), 1);
    ASSERT_EQ(set_setup_value(slot_lifetime_, 75), 1);

    answerer::box("Question from Kavrel").text("reset onscreen changes").press(IDCANCEL);
    EXPECT_EQ(read_additional_changes_from(good.c_str()), 0);
    EXPECT_FLOAT_EQ(setup_value(slot_lifetime_), 75);
    EXPECT_FLOAT_EQ(setup_value(slot_birth_rate_), 0.04f); // the trial read was undone

    answerer::box("Question from Kavrel").text("reset onscreen changes").press(IDNO);
    EXPECT_EQ(read_additional_changes_from(good.c_str()), 1);
    EXPECT_FLOAT_EQ(setup_value(slot_lifetime_), 75);
    EXPECT_FLOAT_EQ(setup_value(slot_birth_rate_), 0.05f);

    ASSERT_EQ(set_setup_value(slot_birth_rate_, 0.01f), 1);
    answerer::box("Question from Kavrel").text("reset onscreen changes").press(IDYES);
    EXPECT_EQ(read_additional_changes_from(good.c_str()), 1);
    EXPECT_FLOAT_EQ(setup_value(slot_lifetime_), 60); // reset
    EXPECT_FLOAT_EQ(setup_value(slot_birth_rate_), 0.05f);
}

TEST_F(RunDriver, ReadAndWriteChangesGoThroughTheFileDialog) {
    ASSERT_EQ(ensure_setup_copy(0), 1);
    ASSERT_EQ(set_setup_value(slot_lifetime_, 80), 1);
    answerer::dialog(dlg_file_choice).set_text(fdc_name, dir_ + "/mine").press(IDOK);
    EXPECT_EQ(write_changes_command(), 1);
    EXPECT_TRUE(fs::exists(dir_ + "/mine.cin"));
    clear_setup();
    answerer::dialog(dlg_file_choice).set_text(fdc_name, dir_ + "/mine").press(IDOK);
    answerer::box("Question from Kavrel").text("reset onscreen changes").press(IDYES);
    EXPECT_EQ(read_additional_changes(), 1);
    EXPECT_FLOAT_EQ(setup_value(slot_lifetime_), 80);
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    EXPECT_EQ(read_additional_changes(), 0);
}

} // namespace

TEST_F(RunDriver, ARunThatCannotBeWrittenSaysWhichFileAndWhy) {
    // The folder of the run file is missing: one stop box names the file and
    // the system's reason, and no vaguer box follows it.
    set_run_name("missing/run");
    answerer::box("Stop from Kavrel")
        .text("Unable to write the run file " + dir_ +
              "/missing/run.kdf: No such file or directory; no file was written")
        .press(IDOK);
    int result = -1;
    EXPECT_EQ(run_command(rc_simulate, 0, 0, &result), 0);
    EXPECT_EQ(result, sim_write_failed);
    EXPECT_EQ(seen_captions().size(), 1u);
    expect_counters_down();
    EXPECT_EQ(sim_phase, phase_idle);
}
