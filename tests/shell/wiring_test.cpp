// The start-up wiring of the engine and run-reader hooks: after start-up
// with a sample model the hooks are in place and the value cache exists; a
// simulation through the menu pumps messages and loads its run; deleting a
// loaded run file unloads it; a Livesweep request made while a re-run is busy
// is deferred to the main window's timer, reaches the engine and answers
// with the done message; a Plausitest run is made and its violations listed.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: it comes before them.
#include "tests/shell/run_state.h"

#include "shell_fixture.h"

#include "foundation/files.h"
#include "runs/cache.h"
#include "shell/rundrv.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/livesweep.h"
#include "sim/run.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <filesystem>

namespace td = test_driver;
namespace fs = std::filesystem;

namespace {

// A window that counts the Livesweep done messages it receives.
int done_messages = 0;
LRESULT counting_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == static_cast<UINT>(livesweep_done_message)) {
        ++done_messages;
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

// The installed pump, wrapped: counts the save points and runs an action
// once at the given one.
sim_pump_fn installed_pump = nullptr;
int pumps = 0;
int act_at = -1;
void (*action)() = nullptr;
void counting_pump() {
    ++pumps;
    if (pumps == act_at && action) action();
    if (installed_pump) installed_pump();
}

HWND requester = nullptr;
void request_while_busy() {
    EXPECT_TRUE(livesweep_busy());
    EXPECT_EQ(livesweep_rerun(token_of(requester), 0, 0), 1);
}

class Wiring : public ShellWorkbenchTest {
protected:
    void TearDown() override {
        set_sim_pump_hook(installed_pump);
        installed_pump = nullptr;
        action = nullptr;
        act_at = -1;
        reset_run_state();
        if (requester && IsWindow(requester)) DestroyWindow(requester);
        requester = nullptr;
        ShellWorkbenchTest::TearDown();
        UnregisterClass("Kavrel_guage", hinst);
    }
    // The workbench with every hook and a copy of the population sample.
    void open_sample(const char* name = "population.kmf") {
        make_workbench();
        install_program_hooks();
        model_ = sample(name);
        ASSERT_EQ(shell_open_model(1, 0, model_.c_str(), 0), 1);
        ask_dataset_overwrite = false;
        installed_pump = sim_pump_hook();
        ASSERT_NE(installed_pump, nullptr);
        pumps = 0;
        set_sim_pump_hook(counting_pump);
    }
    void set_run_name(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    std::string model_;
};

TEST_F(Wiring, StartUpWithAModelInstallsTheHooksAndMakesTheCache) {
    set_sim_pump_hook(nullptr);
    set_sim_pause_hook(nullptr);
    std::string model = sample("population.kmf");
    bool pump = false, pause = false, cache = false;
    td::on_idle([&] {
        pump = sim_pump_hook() != nullptr;
        pause = sim_pause_hook() != nullptr;
        cache = value_cache_exists();
        PostMessage(main_wnd, WM_COMMAND, cmd_exit, 0);
    });
    EXPECT_EQ(init_and_run(nullptr, {model}), 1);
    win_clear_idle_actions();
    EXPECT_TRUE(pump);
    EXPECT_TRUE(pause);
    EXPECT_TRUE(cache);
    shutdown_ui();
    // Closing the model dropped the cache.
    EXPECT_FALSE(value_cache_exists());
}

TEST_F(Wiring, SimulateFromTheMenuPumpsLoadsAndDeletingTheFileUnloadsIt) {
    open_sample();
    set_run_name("base");
    menu_command(cmd_simulate);
    EXPECT_EQ(last_run_result, sim_done);
    EXPECT_GT(pumps, 10);
    std::string run = dir + "/base.kdf";
    ASSERT_TRUE(fs::exists(run));
    EXPECT_GE(find_run(run.c_str()), 0);
    EXPECT_NE(title().find("population"), std::string::npos) << title();
    // The run-file delete hook unloads the run before the file goes.
    EXPECT_EQ(delete_file(run.c_str(), 1), 1);
    EXPECT_FALSE(fs::exists(run));
    EXPECT_LT(find_run(run.c_str()), 0);
}

TEST_F(Wiring, ALivesweepRequestWhileBusyRunsAgainOnTheMainWindowTimer) {
    open_sample();
    WNDCLASS wc{};
    wc.lpfnWndProc = counting_proc;
    wc.hInstance = hinst;
    wc.lpszClassName = "WiringRequester";
    RegisterClass(&wc);
    requester =
        CreateWindow("WiringRequester", "", 0, 0, 0, 10, 10, nullptr, nullptr, hinst, nullptr);
    ASSERT_NE(requester, nullptr);
    done_messages = 0;
    // A run loaded first: entering then compiles, it does not run.
    set_run_name("base");
    menu_command(cmd_simulate);
    ASSERT_EQ(last_run_result, sim_done);
    set_run_name("sweep");
    pumps = 0;
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_EQ(pumps, 0);
    // A slider change re-runs; a second change during that re-run stops it
    // and is deferred to the timer.
    act_at = 3;
    action = request_while_busy;
    EXPECT_EQ(livesweep_rerun(token_of(requester), 0, 0), 1);
    EXPECT_EQ(done_messages, 1);
    EXPECT_EQ(shown_run_slot(), 0); // the re-runs stand in for the loaded run
    const int pumps_first = pumps;
    EXPECT_EQ(pumps_first, 3); // stopped at the request
    td::advance(livesweep_timer_ms);
    td::run_until_idle();
    EXPECT_EQ(done_messages, 2);
    EXPECT_GT(pumps, pumps_first + 10); // the deferred re-run ran to the end
    // The timer was killed: nothing more comes.
    td::advance(10 * livesweep_timer_ms);
    td::run_until_idle();
    EXPECT_EQ(done_messages, 2);
    // Leaving through the menu.
    menu_command(cmd_livesweep);
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_FALSE(fs::exists(dir + "/sweep.kdf"));
    EXPECT_FALSE(fs::exists(dir + "/Current.kdf"));
}

TEST_F(Wiring, APlausitestRunIsMadeAndItsViolationsAreListed) {
    open_sample("epidemic.kmf");
    set_run_name("check");
    answerer::dialog(403).press(IDOK); // the Plausitest dialog
    menu_command(cmd_plausitest);
    EXPECT_EQ(last_run_result, sim_done);
    EXPECT_TRUE(fs::exists(dir + "/check.kdf"));
    EXPECT_GT(pumps, 10);
    // The results seam lists each violated constraint.
    sim_output out;
    out.constraint_checks = 12;
    out.violations.push_back({"pop limit[north]", 4, 3});
    clear_message_list();
    shell_plausitest_results(out);
    int n = 0;
    const char* const* lines = message_list_lines(&n);
    std::string all;
    for (int i = 0; i < n; ++i) all += std::string(lines[i]) + "\n";
    EXPECT_NE(all.find("1 constraint(s) violated"), std::string::npos) << all;
    EXPECT_NE(all.find("pop limit[north] failed 3 time(s), first at time 4"), std::string::npos)
        << all;
}

} // namespace
