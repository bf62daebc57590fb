// Gaming, Livesweep and Plausitest as a user meets them: the gaming
// toolbar's steps (forward without an overwrite question, backward one
// interval, the amount to move, the time shown), leaving a game with its own
// question, Livesweep entered without a question and left with its last run
// written, the Model menu's Livesweep item, the run-name and integration
// choices, and the Plausitest dialog.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: it comes before them.
#include "runs/runfile.h"

#include "population_fixture.h"
#include "shot.h"

#include "foundation/report.h"
#include "resources/dialogs.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "runs/select.h"
#include "shell/bottombar.h"
#include "shell/menustate.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/simdlg.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace td = test_driver;
namespace fs = std::filesystem;

namespace {

class Gaming : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        name_run("trial");
        MoveWindow(toolbar_wnd, 0, 2, 1000, toolbar_height, TRUE);
        td::run_until_idle();
    }
    void TearDown() override {
        if (livesweep_state == ls_on) leave_livesweep();
        toolbar_follow_mode();
        PopulationTest::TearDown();
    }
    std::string run_file(const char* name) const {
        return (fs::path(model_).parent_path() / (std::string(name) + ".kdf")).string();
    }
    static std::string menu_text(int id) {
        char buf[128];
        int n = GetMenuString(main_menu, static_cast<UINT>(id), buf, sizeof buf, MF_BYCOMMAND);
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    // Saved times in a run file (header word 30).
    static int saved_in_file(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        char h[164] = {};
        f.read(h, sizeof h);
        std::int32_t n = 0;
        std::memcpy(&n, h + 120, 4);
        return n;
    }
};

TEST_F(Gaming, TheToolbarStepsTheGameForwardAndBackWithoutQuestions) {
    // A run file of the name exists: starting the game asks once, and only
    // then (the answerer fails on any other box).
    menu_command(cmd_simulate);
    ASSERT_TRUE(fs::exists(run_file("trial")));
    game_interval = 10;
    answerer::box("Question from Kavrel").text("exists").press(IDYES);
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_EQ(answerer::pending(), 0u);
    toolbar_follow_mode();
    ASSERT_EQ(toolbar_mode(), tm_gaming);
    EXPECT_EQ(toolbar_label(game_time_slot), "Time 10");
    press_toolbar(27); // Move Forward
    press_toolbar(27);
    EXPECT_EQ(toolbar_label(game_time_slot), "Time 30");
    EXPECT_EQ(game_saved_times, 31);
    // Move Backward goes back one interval and the game goes on.
    press_toolbar(28);
    EXPECT_TRUE(game_in_progress());
    EXPECT_EQ(game_state, 4);
    EXPECT_EQ(toolbar_label(game_time_slot), "Time 20");
    EXPECT_EQ(game_saved_times, 21);
    EXPECT_EQ(last_run_result, sim_done);
    // The run loaded is the game's own, cut back to time 20.
    EXPECT_EQ(saved_in_file(run_file("trial")), 21);
    // The amount to move is the interval of the next step.
    HWND amount = game_amount_field();
    ASSERT_NE(amount, nullptr);
    EXPECT_TRUE(IsWindowVisible(amount));
    SetWindowText(amount, "5");
    press_toolbar(27);
    EXPECT_EQ(toolbar_label(game_time_slot), "Time 25");
    SetWindowText(amount, "soon");
    answerer::box(severity_caption(8)).text("Amount to Move").press(IDOK);
    press_toolbar(27);
    EXPECT_EQ(toolbar_label(game_time_slot), "Time 25");
    // Stop Gaming asks the game's own question; No keeps it.
    answerer::box("Question from Kavrel").text("Do you want to end the game?").press(IDNO);
    press_toolbar(26);
    EXPECT_TRUE(game_in_progress());
    answerer::box("Question from Kavrel").text("Do you want to end the game?").press(IDYES);
    press_toolbar(26);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(toolbar_mode(), tm_normal);
    EXPECT_EQ(toolbar_label(game_time_slot), "Game time");
}

TEST_F(Gaming, LeavingAModePutsTheBottomBarBack) {
    set_bottom_text(current_model_name());
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    set_bottom_bar(bm_text, "a mode's own text", bottom_no_command);
    answerer::box("Question from Kavrel").text("end the game").press(IDYES);
    EXPECT_EQ(leave_sim_mode(1), 1);
    ASSERT_EQ(bottom_items().size(), 1u);
    EXPECT_EQ(bottom_items()[0].text, current_model_name());
}

TEST_F(Gaming, LivesweepStartsWithoutAQuestionAndWritesItsLastRun) {
    menu_command(cmd_simulate);
    ASSERT_TRUE(fs::exists(run_file("trial")));
    const auto written = fs::last_write_time(run_file("trial"));
    update_menu_states();
    EXPECT_EQ(menu_text(cmd_livesweep), "St&art Livesweep\tCtrl+B");
    menu_command(cmd_livesweep); // no box is expected
    ASSERT_EQ(livesweep_state, ls_on);
    update_menu_states();
    EXPECT_EQ(menu_text(cmd_livesweep), "Stop &Livesweep\tCtrl+B");
    EXPECT_TRUE(menu_item_enabled(cmd_livesweep));
    menu_command(cmd_simulate); // a re-run: nothing written
    EXPECT_EQ(fs::last_write_time(run_file("trial")), written);
    // Leaving writes the run shown, asking before it replaces the file.
    fs::remove(run_file("trial"));
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    EXPECT_EQ(leave_sim_mode(1), 1);
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_TRUE(fs::exists(run_file("trial")));
    EXPECT_STREQ(ctx_text(model_rec, model_rec->last_run_name), "trial.kdf");
    update_menu_states();
    EXPECT_EQ(menu_text(cmd_livesweep), "St&art Livesweep\tCtrl+B");
}

TEST_F(Gaming, LivesweepSavesTheRunShownToANamedFile) {
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    answerer::dialog(dlg_file_choice).set_text(fdc_name, "kept").press(IDOK);
    EXPECT_EQ(sim_control_command(sc_save_run_as, 0, 0), 1);
    EXPECT_TRUE(fs::exists(run_file("kept")));
    EXPECT_EQ(livesweep_state, ls_on); // the sweep goes on
    // Listed with the runs, for comparing.
    int n = loaded_run_names(1);
    bool listed = false;
    for (int i = 0; i < n; ++i) listed = listed || std::string(selected_run_names[i]) == "kept";
    EXPECT_TRUE(listed);
    // Cancel writes nothing.
    answerer::dialog(dlg_file_choice).press(IDCANCEL);
    EXPECT_EQ(sim_control_command(sc_save_run_as, 0, 0), 0);
}

TEST_F(Gaming, TheRunNameAndTechniqueAreChosenFromLists) {
    name_run("beta");
    menu_command(cmd_simulate);
    name_run("Alpha");
    menu_command(cmd_simulate);
    EXPECT_EQ(run_names_on_disk(), (std::vector<std::string>{"Alpha", "beta"}));
    answerer::dialog(353).select(1660, 1).press(IDOK);
    EXPECT_EQ(sim_control_command(sc_pick_run_name, 0, 0), 1);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "beta");
    answerer::dialog(353).press(IDCANCEL);
    EXPECT_EQ(sim_control_command(sc_pick_run_name, 0, 0), 0);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "beta");
    answerer::dialog(353).select(1660, 1).press(IDOK);
    EXPECT_EQ(sim_control_command(sc_pick_method, 0, 0), 1);
    EXPECT_EQ(model_rec->setup.method, im_rk4);
    EXPECT_EQ(toolbar_label(method_slot), "RK4 Fixed");
    model_rec->setup.method = im_euler;
}

TEST_F(Gaming, PlausitestDialogListsEveryBehaviourTest) {
    // The population sample has no constraints: that is said before any
    // question about the run file, and nothing is simulated or written.
    std::string summary;
    last_run_result = -1;
    answerer::box(severity_caption(6))
        .text("The model has no behaviour tests (constraints) to check.")
        .press(IDOK);
    menu_command(cmd_plausitest);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(last_run_result, -1); // nothing was run
    // The epidemic sample: one test holds, one is broken; both are listed,
    // the broken one with the time it first failed, and the run is loaded.
    unload_runs(1);
    ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1);
    name_run("tested");
    std::vector<std::string> rows;
    answerer::dialog(dlg_plausitest)
        .call([&](HWND d) {
            summary = td::item_text(d, ids_pt_summary);
            rows = td::list_texts(GetDlgItem(d, ids_pt_list));
            EXPECT_GT(distinct_colours(save_shot(d, "kavrel_plausitest.png")), 4);
        })
        .press(IDOK);
    menu_command(cmd_plausitest);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_NE(summary.find("1 violated, 1 held"), std::string::npos) << summary;
    ASSERT_EQ(rows.size(), 2u);
    long checks = 0;
    const auto& lines = plausitest_lines(&checks);
    ASSERT_EQ(lines.size(), 2u);
    const plausitest_line* broken = lines[0].held ? &lines[1] : &lines[0];
    const plausitest_line* kept = lines[0].held ? &lines[0] : &lines[1];
    EXPECT_EQ(broken->element, "outbreak contained");
    EXPECT_FALSE(broken->held);
    EXPECT_TRUE(kept->held);
    EXPECT_EQ(kept->element, "population kept");
    EXPECT_GT(broken->first_time, 0);
    EXPECT_LT(broken->count, checks);
    std::string first = format_number(broken->first_time, 0, nullptr);
    bool listed = false;
    for (const std::string& r : rows)
        if (r.find("VIOLATED") == 0 && r.find("outbreak contained") != std::string::npos &&
            r.find("first at time " + first) != std::string::npos)
            listed = true;
    EXPECT_TRUE(listed) << rows[0] << " / " << rows[1];
    EXPECT_TRUE(fs::exists(fs::path(sample("epidemic.kmf")).parent_path() / "tested.kdf"));
    EXPECT_EQ(last_run_result, sim_done);
}

} // namespace
