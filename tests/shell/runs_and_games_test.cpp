// Runs and games as the user carries them on: a toolbar run and a game's run
// are shown first as a menu run is, the game's live graphs outlive the
// progress panel between moves, and Reset in Constant Changes takes the
// model's value back while the note keeps naming it.
// The run reader's header names a field "slots", which Qt's headers define as
// a macro: it comes before them.
#include "population_fixture.h"
#include "rundrv_fixture.h"
#include "runs/runfile.h"

#include "resources/simdlg.h"
#include "runs/select.h"
#include "shell/rundrv.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/changes.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/runtypes.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class RunsShown : public RunDriverTest {};

// The toolbar's Run button makes the run the first one shown, as Simulate in
// the menu does, also when a run of that name was loaded already; both keep
// the runs loaded before.
TEST_F(RunsShown, ARunFromTheToolbarIsShownFirst) {
    set_run_name("menu");
    int result = -1;
    ASSERT_EQ(run_command(rc_simulate, 0, 0, &result), 1);
    ASSERT_EQ(result, sim_done);
    EXPECT_EQ(first_selected(), "menu");
    set_run_name("button");
    ASSERT_EQ(run_command(rc_toolbar, 0, 0, &result), 1);
    EXPECT_EQ(result, sim_done);
    EXPECT_TRUE(fs::exists(dir_ + "/button.kdf"));
    EXPECT_EQ(first_selected(), "button");
    EXPECT_EQ(model_rec->run_count, 2);
    set_run_name("menu again");
    ASSERT_EQ(run_command(rc_simulate, 0, 0, &result), 1);
    EXPECT_EQ(first_selected(), "menu again");
    EXPECT_EQ(model_rec->run_count, 3);
    // Made again from the toolbar, a run already loaded comes back first too.
    set_run_name("button");
    ASSERT_EQ(run_command(rc_toolbar, 0, 0, &result), 1);
    EXPECT_EQ(first_selected(), "button");
    EXPECT_EQ(model_rec->run_count, 3);
}

class GameRuns : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        ask_dataset_overwrite = false;
    }
};

// A game's run is shown first from its first interval on, also when a run of
// its name was loaded before and others were made since.
TEST_F(GameRuns, TheGamesRunIsShownFirstAtEveryInterval) {
    name_run("play");
    menu_command(cmd_simulate);
    name_run("other");
    menu_command(cmd_simulate);
    ASSERT_EQ(first_selected(), "other");
    ASSERT_EQ(model_rec->run_count, 2);
    name_run("play");
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_EQ(first_selected(), "play");
    EXPECT_EQ(model_rec->run_count, 2);
    menu_command(cmd_simulate); // the next interval
    EXPECT_EQ(first_selected(), "play");
}

class GameGraphs : public ShellDialogTest {
protected:
    void TearDown() override {
        game_state = 0;
        set_wip_graph_updater(nullptr);
        wip_message(0, nullptr);
        ShellDialogTest::TearDown();
    }
};

// Graphs following a game are updated at every move: closing the progress
// panel at the end of a move keeps them; once the game is over it drops them.
TEST_F(GameGraphs, AGamesGraphsOutliveThePanelBetweenMoves) {
    static int updates = 0;
    updates = 0;
    set_wip_graph_updater([](handle) {
        ++updates;
        return true;
    });
    game_state = 2;
    ASSERT_EQ(wip_graph_add(5), 1);
    ASSERT_EQ(wip_graph_add(6), 1);
    wip_message(1, "Simulating");
    wip_message(0, nullptr); // the move is made
    EXPECT_EQ(wip_graph_count(), 2);
    wip_show_time(); // the next move's steps
    EXPECT_EQ(updates, 2);
    game_state = 0;
    wip_message(1, "Simulating");
    wip_message(0, nullptr);
    EXPECT_EQ(wip_graph_count(), 0);
}

class ResetConstant : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        test_driver::run_until_idle();
    }
};

// Reset puts the model's value back in the list and, on OK, in the set-up
// copy, undoing a change made earlier in set-up.
TEST_F(ResetConstant, ResetTakesTheModelsValueBackOnOk) {
    std::string model_text;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            choose_row(d, "carrying capacity");
            model_text = test_driver::item_text(d, ids_value);
            SetDlgItemText(d, ids_value, "12345");
            SendMessage(d, WM_COMMAND, ids_set, 0);
        })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    ASSERT_EQ(model_text, "10000");
    // The note beside the field keeps saying the model's value after a change.
    std::string value, note;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            choose_row(d, "birth rate");
            choose_row(d, "carrying capacity");
            value = test_driver::item_text(d, ids_value);
            note = test_driver::item_text(d, ids_model_value);
        })
        .press(IDCANCEL);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(value, "12345");
    EXPECT_EQ(note, "Model value: 10000");
    ASSERT_FLOAT_EQ(copy_value("carrying capacity"), 12345);

    std::string before, after;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            int row = choose_row(d, "carrying capacity");
            before = row_text(d, row);
            SendMessage(d, WM_COMMAND, ids_reset, 0);
            after = row_text(d, row);
        })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(before.rfind("* carrying capacity = 12345", 0), 0u) << before;
    EXPECT_EQ(after.find("*"), std::string::npos) << after;
    EXPECT_NE(after.find("carrying capacity = 10000"), std::string::npos) << after;
    EXPECT_FLOAT_EQ(copy_value("carrying capacity"), 10000);
}

} // namespace
