// The set-up dialogs as a user meets them: Constant Changes and Lookup
// Changes take typed changes into the set-up copies only when every one
// parses (a bad one is refused with its field focused), set-up names itself
// in the title, and leaving it with unused changes asks whether to keep them.
#include "runs/runfile.h"

#include "population_fixture.h"
#include "shot.h"

#include "foundation/report.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "runs/select.h"
#include "shell/mainloop.h"
#include "shell/menucmd.h"
#include "shell/menustate.h"
#include "shell/rundrv.h"
#include "shell/simdlg.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "shell/wip.h"
#include "shell/wiring.h"
#include "sim/changes.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/livesweep.h"
#include "sim/setup.h"
#include "sim/simdata.h"
#include "tests/support/model_builder.h"

#include <algorithm>
#include <string>
#include <vector>

namespace td = test_driver;

namespace {

class SimDialogs : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        td::run_until_idle();
    }
};

TEST_F(SimDialogs, ConstantChangesTakeEveryTypedValueAtOnce) {
    int changed_rows = 0;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            type_value(d, "birth rate", "0.05");
            type_value(d, "average lifetime", "70");
            type_value(d, "carrying capacity", " 12000 ");
            for (const std::string& line : td::list_texts(GetDlgItem(d, ids_list)))
                if (!line.empty() && line[0] == '*') ++changed_rows;
            EXPECT_GT(distinct_colours(save_shot(d, "kavrel_constant_changes.png")), 4);
            // Nothing reaches the copies before OK.
            EXPECT_FALSE(setup_has_changes());
        })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(changed_rows, 3);
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_NE(title().find("Simulation Setup"), std::string::npos) << title();
    EXPECT_FLOAT_EQ(copy_value("birth rate"), 0.05f);
    EXPECT_FLOAT_EQ(copy_value("average lifetime"), 70);
    EXPECT_FLOAT_EQ(copy_value("carrying capacity"), 12000);
    // Cancel drops what was typed.
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) { type_value(d, "birth rate", "0.09"); })
        .press(IDCANCEL);
    menu_command(cmd_constant_changes);
    EXPECT_FLOAT_EQ(copy_value("birth rate"), 0.05f);
}

// A click on a row of the list, as the user makes it, brings that
// constant's value into the field and says its model value.
TEST_F(SimDialogs, AClickedRowShowsItsConstantsValue) {
    std::string value, note;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            HWND list = GetDlgItem(d, ids_list);
            const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                if (td::list_text(list, i).find("carrying capacity =") == std::string::npos)
                    continue;
                RECT row{};
                SendMessage(list, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&row));
                td::click(list, row.left + 5, (row.top + row.bottom) / 2);
                td::run_until_idle();
                break;
            }
            value = td::item_text(d, ids_value);
            note = td::item_text(d, ids_model_value);
        })
        .press(IDCANCEL);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(value, "10000");
    EXPECT_NE(note.find("10000"), std::string::npos) << note;
}

TEST_F(SimDialogs, ABadValueIsRefusedWithItsFieldFocusedAndNothingApplied) {
    for (const char* bad : {"0.0x", "", "abc", "1e99", "inf", "0x10"}) {
        bool focused = false;
        answerer::box(severity_caption(8)).text("is not a number").press(IDOK);
        answerer::dialog(dlg_constant_changes)
            .call([&](HWND d) {
                type_value(d, "average lifetime", "65"); // a good one first
                type_value(d, "birth rate", bad);
                focused = GetFocus() == GetDlgItem(d, ids_value);
                // OK is refused too while the field is bad.
                answerer::box(severity_caption(8)).text("is not a number").press(IDOK);
                SendMessage(d, WM_COMMAND, IDOK, 0);
                EXPECT_TRUE(IsWindow(d));
            })
            .press(IDCANCEL);
        menu_command(cmd_constant_changes);
        EXPECT_EQ(answerer::pending(), 0u) << bad;
        EXPECT_TRUE(focused) << bad;
        EXPECT_FALSE(setup_has_changes()) << bad;
    }
}

TEST_F(SimDialogs, LookupPointsAreCheckedAsChangesFilesCheckThem) {
    struct {
        const char* table;
        const char* why;
    } bad[] = {{"0, 1\r\n1, :NA:\r\n", "cannot be :NA:"},
               {"0, 1\r\n2, 1\r\n1, 0\r\n", "must increase"},
               {"0, 1\r\n1 x\r\n", "line 2"},
               {"", "at least one point"}};
    for (const auto& b : bad) {
        answerer::dialog(dlg_lookup_changes)
            .call([&](HWND d) {
                SetDlgItemText(d, ids_points, b.table);
                answerer::box(severity_caption(8)).text(b.why).press(IDOK);
                SendMessage(d, WM_COMMAND, IDOK, 0);
                EXPECT_TRUE(IsWindow(d)) << b.table;
                EXPECT_EQ(GetFocus(), GetDlgItem(d, ids_points)) << b.table;
            })
            .press(IDCANCEL);
        menu_command(cmd_lookup_changes);
        EXPECT_EQ(answerer::pending(), 0u) << b.table;
        EXPECT_FALSE(setup_has_changes()) << b.table;
    }
    // Good points reach the copy; the same text in a changes file is read.
    answerer::dialog(dlg_lookup_changes)
        .set_text(ids_points, "0, 1\r\n1, 0.5\r\n2 0.25\r\n")
        .press(IDOK);
    menu_command(cmd_lookup_changes);
    setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->lookup_changed.size(), 2u);
    EXPECT_TRUE(st->lookup_changed[0] || st->lookup_changed[1]);
    const lookup_table& t = st->lookups[st->lookup_changed[0] ? 0 : 1];
    ASSERT_EQ(t.count, 3u);
    EXPECT_FLOAT_EQ(st->lookup_data[t.y + 2], 0.25f);
}

TEST_F(SimDialogs, LeavingSetupWithUnusedChangesAsksToKeepThem) {
    menu_command(cmd_setup);
    ASSERT_EQ(sim_phase, phase_setup);
    EXPECT_NE(title().find("Simulation Setup"), std::string::npos) << title();
    std::int32_t slot = setup_items(0).front().slot;
    ASSERT_EQ(set_setup_value(slot, 3), 1);
    // Cancel stays in set-up with the change.
    answerer::box("Question from Kavrel").text("Keep them").press(IDCANCEL);
    menu_command(cmd_stop_simulation);
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_TRUE(setup_has_changes());
    // Yes leaves and keeps them for the next run; the title drops the mode.
    answerer::box("Question from Kavrel").text("Keep them").press(IDYES);
    menu_command(cmd_stop_simulation);
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_TRUE(setup_has_changes());
    EXPECT_EQ(title().find("Simulation Setup"), std::string::npos) << title();
    // Escape leaves set-up too; No drops the changes.
    menu_command(cmd_setup);
    ASSERT_EQ(sim_phase, phase_setup);
    answerer::box("Question from Kavrel").text("Keep them").press(IDNO);
    MSG esc{};
    esc.hwnd = main_wnd;
    esc.message = WM_KEYDOWN;
    esc.wParam = VK_ESCAPE;
    loop_handle_message(&esc);
    td::run_until_idle();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(sim_phase, phase_idle);
    EXPECT_FALSE(setup_has_changes());
}

} // namespace

namespace {

// A game played through the menu and the game window on the epidemic
// sample (0 to 120, SAVEPER 1; "distancing" is its game input).
class GameWindow : public SimDialogs {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        install_program_hooks();
        set_sim_pump_hook(nullptr);
        ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1);
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "play");
        td::run_until_idle();
    }
    void TearDown() override {
        end_game();
        close_game_window();
        game_interval = 0;
        SimDialogs::TearDown();
    }
    static std::string field(int id) { return td::item_text(game_window(), id); }
    static void press(int id) {
        SendMessage(GetDlgItem(game_window(), id), BM_CLICK, 0, 0);
        td::run_until_idle();
    }
    static float live(const char* name) {
        for (const setup_item& it : setup_items(2))
            if (it.name == name) return value_array ? value_array[it.slot] : -1;
        return -1;
    }
};

TEST_F(GameWindow, TwoMovesWithADecisionThenEndAndANewGameStartsAtInitialTime) {
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    ASSERT_NE(game_window(), nullptr);
    EXPECT_EQ(field(ids_game_time), "Time=1");
    EXPECT_NE(title().find("Game at time 1"), std::string::npos) << title();
    ASSERT_EQ(game_gauge_count, 1); // the game input is the row
    // A bad interval is refused with its field focused; the game stays put.
    SetDlgItemText(game_window(), ids_game_interval, "ten");
    answerer::box(severity_caption(8)).text("positive number").press(IDOK);
    press(ids_game_forward);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(GetFocus(), GetDlgItem(game_window(), ids_game_interval));
    EXPECT_DOUBLE_EQ(game_time(), 1);
    // Interval 10 and a decision: less contact from now on.
    SetDlgItemText(game_window(), ids_game_interval, "10");
    SendDlgItemMessage(game_window(), ids_list, LB_SETCURSEL, 0, 0);
    SetDlgItemText(game_window(), ids_value, "0.5");
    press(ids_game_forward);
    EXPECT_DOUBLE_EQ(game_time(), 11);
    EXPECT_EQ(field(ids_game_time), "Time=11");
    EXPECT_FLOAT_EQ(live("distancing"), 0.5f);
    EXPECT_EQ(game_window() ? GetFocus() != nullptr : false, true);
    EXPECT_GT(distinct_colours(save_shot(game_window(), "kavrel_game_window.png")), 4);
    press(ids_game_forward);
    EXPECT_DOUBLE_EQ(game_time(), 21);
    EXPECT_EQ(field(ids_game_time), "Time=21");
    // End Game: the game, its rows and its window go.
    press(ids_game_end);
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_state, 0);
    EXPECT_EQ(game_window(), nullptr);
    EXPECT_EQ(game_gauges, 0u);
    EXPECT_EQ(title().find("Game at"), std::string::npos) << title();
    // A new game starts from INITIAL TIME again: one move of 10 from 0.
    answerer::box("Question from Kavrel").press(IDYES); // the run file exists
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    EXPECT_DOUBLE_EQ(game_time(), 10);
    EXPECT_EQ(field(ids_game_time), "Time=10");
    answerer::clear();
}

// What the game window's time field showed at each save of a move, and
// whether the progress panel came up over it.
std::vector<std::string> times_seen;
bool panel_seen = false;
void watch_move() {
    wip_show_time();
    times_seen.push_back(td::item_text(game_window(), ids_game_time));
    if (wip_wnd && IsWindowVisible(wip_wnd)) panel_seen = true;
}

TEST_F(GameWindow, AMoveReportsInTheGameWindowAndNeverRaisesThePanel) {
    menu_command(cmd_run_game);
    ASSERT_NE(game_window(), nullptr);
    times_seen.clear();
    panel_seen = false;
    set_sim_pump_hook(watch_move);
    SetDlgItemText(game_window(), ids_game_interval, "4");
    press(ids_game_forward);
    set_sim_pump_hook(nullptr);
    EXPECT_DOUBLE_EQ(game_time(), 5);
    // The time moves with the run, not only when the move has ended.
    for (const char* t : {"Time=2", "Time=3", "Time=4"})
        EXPECT_NE(std::find(times_seen.begin(), times_seen.end(), t), times_seen.end()) << t;
    EXPECT_FALSE(panel_seen);
    EXPECT_EQ(field(ids_game_time), "Time=5");
    // A progress text during the game is written into the same field, and
    // the game window stays the one the player works in.
    SetActiveWindow(main_wnd);
    EXPECT_EQ(wip_message(1, "Loading %s", "play"), 1);
    EXPECT_EQ(field(ids_game_time), "Loading play");
    EXPECT_FALSE(wip_wnd && IsWindowVisible(wip_wnd));
    EXPECT_EQ(GetActiveWindow(), game_window());
    wip_message(0, nullptr);
}

TEST_F(GameWindow, KeepingTheGameBringsItsWindowForward) {
    menu_command(cmd_run_game);
    ASSERT_NE(game_window(), nullptr);
    SetActiveWindow(main_wnd);
    ASSERT_NE(GetActiveWindow(), game_window());
    answerer::box("Question from Kavrel").text("end the current game??").press(IDNO);
    EXPECT_EQ(run_command(rc_simulate, 0, 0, nullptr), 0);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_TRUE(game_in_progress());
    EXPECT_EQ(GetActiveWindow(), game_window());
}

TEST_F(GameWindow, GamingChangesListTheGameInputsAndClosingTheModelEndsTheGame) {
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    std::string caption, first;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            char b[128] = {};
            GetWindowText(d, b, sizeof b);
            caption = b;
            SendDlgItemMessage(d, ids_list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(b));
            first = b;
            type_value(d, "distancing", "0.25");
        })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(caption, "Gaming Changes");
    EXPECT_NE(first.find("distancing = 1"), std::string::npos) << first;
    // The game window's row shows the decision at once.
    char row[128] = {};
    SendDlgItemMessage(game_window(), ids_list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(row));
    EXPECT_STREQ(row, "* distancing = 0.25");
    // Lookups are not changed in a game.
    answerer::box(severity_caption(8)).text("during a game").press(IDOK);
    EXPECT_EQ(lookup_changes_dialog(0), 0);
    // Another model replaces this one: the game ends first, its rows freed
    // and its window emptied, so nothing keeps a handle of the closed model.
    answerer::box("Question from Kavrel").press(IDYES);
    ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    answerer::clear();
    EXPECT_FALSE(game_in_progress());
    EXPECT_EQ(game_gauges, 0u);
    EXPECT_EQ(game_gauge_count, 0);
    EXPECT_EQ(game_window(), nullptr);
}

} // namespace

namespace {

TEST_F(SimDialogs, SimulationPauseAsksInItsDialogAndStopEndsTheRun) {
    model_builder b("paused");
    b.control(0, 20, 1, 1);
    b.constant("SIMULATION PAUSE", 5);
    b.level("Stock", "1", "0");
    std::string path = dir + "/paused.kmf";
    ASSERT_EQ(b.write(path.c_str()), 1);
    ASSERT_EQ(shell_open_model(1, 0, path.c_str(), 0), 1);
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "pausing");
    // Continue at 5, stop at 10: the engine then asks whether to keep the
    // results so far.
    std::string text;
    answerer::dialog(dlg_sim_pause)
        .call([&](HWND d) { text = td::item_text(d, ids_pause_text); })
        .press(IDOK);
    answerer::dialog(dlg_sim_pause).press(ids_pause_stop);
    answerer::box("Question from Kavrel").press(IDNO);
    menu_command(cmd_simulate);
    EXPECT_EQ(text, "The simulation is paused at time 5.");
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_NE(last_run_result, sim_done);
}

TEST_F(SimDialogs, EnteringAModeFromTheMenuShowsItAndStopLeavesIt) {
    // Livesweep: named in the title at once, Stop Simulation enabled as the
    // way out, and leaving it there.
    menu_command(cmd_livesweep);
    ASSERT_EQ(livesweep_state, ls_on);
    EXPECT_NE(title().find("Livesweep"), std::string::npos) << title();
    update_menu_states();
    EXPECT_TRUE(menu_item_enabled(cmd_stop_simulation));
    EXPECT_FALSE(menu_item_enabled(cmd_setup));
    // A change in the dialog reaches the copies Livesweep runs on; the mode
    // stays (the dialog does not enter set-up over it).
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) { type_value(d, "birth rate", "0.06"); })
        .press(IDOK);
    menu_command(cmd_constant_changes);
    EXPECT_EQ(livesweep_state, ls_on);
    EXPECT_NE(sim_phase, phase_setup);
    EXPECT_FLOAT_EQ(copy_value("birth rate"), 0.06f);
    EXPECT_NE(title().find("Livesweep"), std::string::npos) << title();
    // With no run loaded, entering made the first run under the run name;
    // leaving writes the last run over it, asking first as any run does.
    answerer::box("Question from Kavrel").text("leave Livesweep").press(IDYES);
    answerer::box("Question from Kavrel").text("exists").press(IDYES);
    menu_command(cmd_stop_simulation);
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_EQ(title().find("Livesweep"), std::string::npos) << title();
    update_menu_states();
    EXPECT_FALSE(menu_item_enabled(cmd_stop_simulation));
    // Set-up without changes: Stop asks only whether to stop.
    menu_command(cmd_setup);
    EXPECT_EQ(sim_phase, phase_setup);
    answerer::box("Question from Kavrel").text("stop simulation setup").press(IDYES);
    menu_command(cmd_stop_simulation);
    EXPECT_EQ(sim_phase, phase_idle);
}

TEST_F(SimDialogs, TheDiagramsSimulationKeysActAsTheMenuItems) {
    // The diagram's Ctrl+E, Ctrl+R and Ctrl+B post the simulation-control ids
    // to the main window; each must do what its menu item does, not answer
    // "Sorry not available".
    ASSERT_EQ(post_sim_command(0), 1); // Ctrl+E
    td::run_until_idle();
    EXPECT_EQ(sim_phase, phase_setup);
    EXPECT_NE(title().find("Simulation Setup"), std::string::npos) << title();
    answerer::box("Question from Kavrel").text("stop simulation setup").press(IDYES);
    menu_command(cmd_stop_simulation);
    ASSERT_EQ(sim_phase, phase_idle);

    ASSERT_EQ(post_sim_command(1), 1); // Ctrl+R
    td::run_until_idle();
    EXPECT_TRUE(std::filesystem::exists(dir + "/Current.kdf"));
    EXPECT_GE(model_rec->run_count, 1);

    ASSERT_EQ(post_sim_command(3), 1); // Ctrl+B on, and set-up is grey meanwhile
    td::run_until_idle();
    EXPECT_EQ(livesweep_state, ls_on);
    ASSERT_EQ(post_sim_command(0), 1);
    td::run_until_idle();
    EXPECT_NE(sim_phase, phase_setup);
    ASSERT_EQ(post_sim_command(3), 1); // and off again
    td::run_until_idle();
    EXPECT_EQ(livesweep_state, ls_off);
    EXPECT_EQ(answerer::pending(), 0u);
}

} // namespace

namespace {

std::string name_during_run;
void read_run_name_field() {
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (toolbar_field_slot(c) == run_name_slot) {
            char b[128] = {};
            GetWindowText(c, b, sizeof b);
            name_during_run = b;
        }
}

TEST_F(SimDialogs, TheToolbarNamesTheRunWhileItIsMade) {
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "named");
    name_during_run.clear();
    set_sim_pump_hook(read_run_name_field);
    menu_command(cmd_simulate);
    set_sim_pump_hook(nullptr);
    EXPECT_EQ(last_run_result, sim_done);
    EXPECT_EQ(name_during_run.rfind("named", 0), 0u) << name_during_run;
}

} // namespace
