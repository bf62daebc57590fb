// What the toolbar's run-name field shows in each mode that names the next
// run, what saving the model
// writes to the settings file, the model information's counts, and a game
// interval that is no positive number.
#include "population_fixture.h"

#include "resources/menus.h"
#include "shell/bottombar.h"
#include "shell/menucmd.h"
#include "shell/menustate.h"
#include "shell/modelsettings.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/simdlg.h"
#include "shell/title.h"
#include "shell/toolbar.h"
#include "sim/game.h"
#include "sim/simdata.h"
#include "tests/support/model_builder.h"

#include <filesystem>
#include <string>

namespace td = test_driver;

namespace {

class ModesAndSaving : public PopulationTest {
protected:
    void TearDown() override {
        livesweep_state = ls_off;
        sim_phase = phase_idle;
        toolbar_follow_mode();
        PopulationTest::TearDown();
    }
    static std::string run_name_field() {
        char buf[256] = {};
        GetWindowText(GetDlgItem(toolbar_wnd, 101), buf, sizeof buf);
        return buf;
    }
    // A model of the builder's written in the test's folder and opened.
    void open_built(model_builder& b, const char* file) {
        const std::string path = dir + "/" + file;
        ASSERT_EQ(b.write(path.c_str()), 1);
        ASSERT_EQ(shell_open_model(1, 0, path.c_str(), 0), 1);
    }
};

TEST_F(ModesAndSaving, EveryModeThatNamesTheNextRunShowsItsNameInTheField) {
    for (bool sweep : {true, false}) {
        // Typing in the field names the run: the field is emptied first.
        SetWindowText(GetDlgItem(toolbar_wnd, 101), "");
        name_run("trial");
        livesweep_state = sweep ? ls_on : ls_off;
        sim_phase = sweep ? phase_idle : phase_setup;
        toolbar_follow_mode();
        ASSERT_EQ(toolbar_mode(), sweep ? tm_livesweep : tm_setup);
        EXPECT_EQ(run_name_field(), "trial") << (sweep ? "Livesweep" : "set-up");
        // Back to the plain toolbar in between.
        livesweep_state = ls_off;
        sim_phase = phase_idle;
        toolbar_follow_mode();
        ASSERT_EQ(toolbar_mode(), tm_normal);
    }
}

TEST_F(ModesAndSaving, SavingTheModelWritesTheRecentModelsToTheSettingsFile) {
    const std::string other = sample("population.kmf", "second.kmf");
    ASSERT_EQ(shell_open_model(1, 0, other.c_str(), 0), 1);
    ASSERT_EQ(save_model_and_settings(), 1);
    const std::string ini = read_file(dir + "/kavread.ini");
    // The model opened last first.
    EXPECT_NE(ini.find("ModelsOld0=" + other + "\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ModelsOld1=" + model_ + "\n"), std::string::npos) << ini;
}

TEST_F(ModesAndSaving, ModelInformationCountsEachKindOnceAndTimeApart) {
    // Two stocks beside Time, three auxiliaries, a lookup, a data variable,
    // an initial and two constants; the four control variables are
    // constants too.
    model_builder b("counted");
    b.control(0, 10, 1, 1);
    b.level("Stock A", "flow a", "1");
    b.level("Stock B", "flow b", "start b");
    b.aux("flow a", "k1 * Stock A");
    b.aux("flow b", "k2 * shape(Stock A)");
    b.aux("ratio", "Stock A / Stock B + observed");
    b.lookup("shape", {{0, 0}, {1, 1}});
    b.data("observed");
    b.initial("start b", "k1 + k2");
    b.constant("k1", 0.5f);
    b.constant("k2", 0.25f);
    open_built(b, "counted.kmf");
    const std::string info = model_info_text();
    EXPECT_NE(info.find("1 Lookups, Time + 2 Levels, 3 Auxiliaries, 1 Data, 1 Initial and 6 "
                        "Constants (Total 15)."),
              std::string::npos)
        << info;
}

// The epidemic sample has a game input: a game is played in its window.
TEST_F(ModesAndSaving, AGameIntervalOfZeroOrLessIsRefusedAndTheGameStaysPut) {
    ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1);
    name_run("play");
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    ASSERT_NE(game_window(), nullptr);
    const double start = game_time();
    for (const char* typed : {"0", "-5"}) {
        SetDlgItemText(game_window(), ids_game_interval, typed);
        answerer::box(severity_caption(8)).text("positive number").press(IDOK);
        SendMessage(GetDlgItem(game_window(), ids_game_forward), BM_CLICK, 0, 0);
        td::run_until_idle();
        EXPECT_EQ(answerer::pending(), 0u) << typed;
        EXPECT_DOUBLE_EQ(game_time(), start) << typed;
    }
    SetDlgItemText(game_window(), ids_game_interval, "2");
    SendMessage(GetDlgItem(game_window(), ids_game_forward), BM_CLICK, 0, 0);
    td::run_until_idle();
    EXPECT_DOUBLE_EQ(game_time(), start + 2);
    SendMessage(GetDlgItem(game_window(), ids_game_end), BM_CLICK, 0, 0);
    td::run_until_idle();
    close_game_window();
}

TEST_F(ModesAndSaving, TheToolbarsAmountFieldFollowsTheGamesInterval) {
    ASSERT_EQ(shell_open_model(1, 0, sample("epidemic.kmf").c_str(), 0), 1);
    name_run("play");
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    ASSERT_NE(game_window(), nullptr);
    auto amount = [] {
        char b[64] = {};
        if (HWND f = game_amount_field()) GetWindowText(f, b, sizeof b);
        return std::string(b);
    };
    ASSERT_NE(game_amount_field(), nullptr);
    // Nothing typed yet: a move is one save period of the sample, 1.
    EXPECT_EQ(amount(), "1");
    for (const char* interval : {"4", "10"}) {
        SetDlgItemText(game_window(), ids_game_interval, interval);
        SendMessage(GetDlgItem(game_window(), ids_game_forward), BM_CLICK, 0, 0);
        td::run_until_idle();
        EXPECT_EQ(amount(), interval);
    }
    SendMessage(GetDlgItem(game_window(), ids_game_end), BM_CLICK, 0, 0);
    td::run_until_idle();
    close_game_window();
}

// A finished run's text waits while a diagram is the active window (it has
// a bar of its own), and shows at once while another window is active even
// with a diagram open behind it.
TEST_F(ModesAndSaving, TheBottomTextShowsUnlessTheDiagramIsActive) {
    HWND diagram = make_test_window("KavrelTestDiagram", DefWindowProc, WS_CHILD | WS_VISIBLE, 300,
                                    200, container_wnd);
    ASSERT_NE(diagram, nullptr);
    struct restore {
        ~restore() {
            build_wnd = nullptr;
            active_kind = 0;
        }
    } r;
    build_wnd = diagram;
    active_kind = kind_output;
    set_bottom_text("Run complete");
    ASSERT_EQ(bottom_mode(), bm_text);
    ASSERT_FALSE(bottom_items().empty());
    EXPECT_EQ(bottom_items().front().text, "Run complete");
    active_kind = kind_build;
    set_bottom_text("Second run complete");
    EXPECT_NE(bottom_mode(), bm_text);
    active_kind = kind_output;
    restore_bottom_bar();
    ASSERT_EQ(bottom_mode(), bm_text);
    EXPECT_EQ(bottom_items().front().text, "Second run complete");
    DestroyWindow(diagram);
}

// The commands a diagram serves reach it from the File menu even while no
// window is the active one.
std::vector<int> diagram_commands;
LRESULT diagram_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND) diagram_commands.push_back(LOWORD(wp));
    return DefWindowProc(w, m, wp, lp);
}

TEST_F(ModesAndSaving, FileCommandsWithNoActiveWindowGoToTheDiagram) {
    HWND diagram = make_test_window("KavrelTestDiagramCommands", diagram_proc,
                                    WS_CHILD | WS_VISIBLE, 300, 200, container_wnd);
    ASSERT_NE(diagram, nullptr);
    struct restore {
        ~restore() { build_wnd = nullptr; }
    } r;
    build_wnd = diagram;
    active_child = nullptr;
    diagram_commands.clear();
    for (int id : {cmd_save_as, cmd_print}) {
        update_menu_states();
        ASSERT_TRUE(menu_item_enabled(id)) << id;
        SendMessage(main_wnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
        td::run_until_idle();
    }
    EXPECT_EQ(diagram_commands, (std::vector<int>{cmd_save_as, cmd_print}));
    DestroyWindow(diagram);
}

// Lookup Changes shows a lookup's points a line each, x then y.
TEST_F(ModesAndSaving, LookupChangesShowsEachPointAsXThenY) {
    std::string lookup, points;
    answerer::dialog(dlg_lookup_changes)
        .call([&](HWND d) {
            char name[128] = {};
            GetDlgItemText(d, ids_lookup, name, sizeof name);
            lookup = name;
            char text[512] = {};
            GetDlgItemText(d, ids_points, text, sizeof text);
            points = text;
        })
        .press(IDCANCEL);
    menu_command(cmd_lookup_changes);
    // The sample's births effect: (0, 1.1) (0.5, 1) (1, 0.7) (1.5, 0.3) (2, 0.1).
    ASSERT_EQ(lookup, "crowding effect on births");
    EXPECT_EQ(points.rfind("0, 1.1\r\n0.5, 1\r\n1, 0.7\r\n", 0), 0u) << points;
    EXPECT_NE(points.find("2, 0.1"), std::string::npos) << points;
    leave_sim_mode(0);
}

} // namespace
