// The simulation commands that work through windows: resetting the slider
// the user works with to the model's own value (no longer a change), and the
// gaming toolbar's amount to move, which must be a positive number.
#include "runs/runfile.h"

#include "population_fixture.h"

#include "foundation/report.h"
#include "resources/dialogs.h"
#include "runs/select.h"
#include "shell/controls/slider.h"
#include "shell/rundrv.h"
#include "shell/simcmds.h"
#include "shell/toolbar.h"
#include "shell/wiring.h"
#include "sim/control.h"
#include "sim/game.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <filesystem>
#include <fstream>

namespace td = test_driver;

namespace {

constexpr int slot = 1;

class SliderReset : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        const std::string model = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model.c_str(), 0), 1);
        ASSERT_EQ(make_setup_copy(), 1);
        host = make_test_window("ResetHost", DefWindowProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400,
                                300);
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        clear_setup();
        ShellWorkbenchTest::TearDown();
    }
    static float slot_value() {
        handle_lock<float> v(setup_copy);
        return v.get()[slot];
    }
    HWND host = nullptr;
};

// Reset puts the model's own value back in the copy and on the slider, and
// the slot is no longer a change for the next run.
TEST_F(SliderReset, ResetGivesBackTheModelsValueAndUnmarksTheChange) {
    setup_state* st = setup_copies();
    ASSERT_NE(st, nullptr);
    ASSERT_GT(st->model_values.size(), static_cast<std::size_t>(slot));
    const float own = st->model_values[slot];
    HWND s = CreateWindow("Kavrel_vslider", "", WS_CHILD | WS_VISIBLE, 10, 10, 240, 60, host,
                          reinterpret_cast<HMENU>(std::uintptr_t{77}), hinst, nullptr);
    ASSERT_NE(s, nullptr);
    float lo = own - 100, hi = own + 100;
    SendMessage(s, vs_set_minimum, 0, reinterpret_cast<LPARAM>(&lo));
    SendMessage(s, vs_set_maximum, 0, reinterpret_cast<LPARAM>(&hi));
    SendMessage(s, vs_bind_slot, slot, 0);
    ASSERT_EQ(set_setup_value(slot, own + 42), 1);
    ASSERT_EQ(st->changed[slot], 1);
    SetFocus(GetDlgItem(s, slider_edit_id));
    EXPECT_EQ(shell_sim_window_command(sc_reset_slider, 0, 0), 1);
    EXPECT_EQ(slot_value(), own);
    EXPECT_EQ(st->changed[slot], 0) << "the model's own value is no change";
    float shown = -1;
    SendMessage(s, vs_get_value, 0, reinterpret_cast<LPARAM>(&shown));
    EXPECT_EQ(shown, own);
    // Nothing to reset without a slider.
    DestroyWindow(s);
    SetFocus(host);
    EXPECT_EQ(shell_sim_window_command(sc_reset_slider, 0, 0), 0);
}

class GameAmount : public PopulationTest {
protected:
    void SetUp() override {
        PopulationTest::SetUp();
        name_run("amount");
        MoveWindow(toolbar_wnd, 0, 2, 1000, toolbar_height, TRUE);
        td::run_until_idle();
    }
    void TearDown() override {
        toolbar_follow_mode();
        PopulationTest::TearDown();
    }
    static std::string time_label() { return toolbar_label(game_time_slot); }
    static void move_forward() { press_toolbar(27); }
};

// Zero and negative amounts are refused with the reason and the game stays
// where it was; a positive one moves it on by that much.
TEST_F(GameAmount, OnlyAPositiveAmountMovesTheGame) {
    game_interval = 10;
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    ASSERT_EQ(time_label(), "Time 10");
    HWND amount = game_amount_field();
    ASSERT_NE(amount, nullptr);
    for (const char* bad : {"0", "-5", "0.0"}) {
        SetWindowText(amount, bad);
        answerer::box(severity_caption(8))
            .text(std::string("Amount to Move must be a positive number of time units, not \"") +
                  bad + "\"")
            .press(IDOK);
        move_forward();
        EXPECT_EQ(answerer::pending(), 0u) << bad;
        EXPECT_EQ(time_label(), "Time 10") << bad;
    }
    SetWindowText(amount, " 2.5 ");
    move_forward();
    EXPECT_EQ(time_label(), "Time 12.5");
}

// The run-name list starts at the run the model names now, whatever the
// case of its letters; the names are listed without their case mattering to
// the order.
TEST_F(GameAmount, TheRunListStartsAtTheCurrentNameInAnyCase) {
    const std::filesystem::path folder = std::filesystem::path(current_model_dir());
    for (const char* name : {"zeta", "Base", "alpha"})
        std::ofstream((folder / (std::string(name) + ".kdf")).string()) << "x";
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, "BASE");
    std::vector<std::string> shown;
    int at = -1;
    answerer::dialog(dlg_ask_list)
        .call([&](HWND d) {
            HWND list = GetDlgItem(d, idc_answer);
            shown = test_driver::list_texts(list);
            at = static_cast<int>(SendMessage(list, LB_GETCURSEL, 0, 0));
        })
        .press(IDCANCEL);
    EXPECT_EQ(shell_sim_window_command(sc_pick_run_name, 0, 0), 0) << "cancelled";
    EXPECT_EQ(shown, (std::vector<std::string>{"alpha", "Base", "zeta"}));
    EXPECT_EQ(at, 1) << "the current run, named in capitals";
}

// The toolbar's edit box of a slot, or null.
HWND toolbar_edit(int slot) {
    for (HWND c = GetWindow(toolbar_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (toolbar_field_slot(c) == slot) return c;
    return nullptr;
}

// Picks the list entry at the index and presses OK.
void pick_list_entry(int index) {
    answerer::dialog(dlg_ask_list)
        .call([index](HWND d) {
            SendDlgItemMessage(d, idc_answer, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        })
        .press(IDOK);
}

// A run picked from the list becomes the model's run name and shows in the
// toolbar's name box at once.
TEST_F(GameAmount, APickedRunNameIsTakenAndShown) {
    const std::filesystem::path folder = std::filesystem::path(current_model_dir());
    for (const char* name : {"zeta", "Base", "alpha"})
        std::ofstream((folder / (std::string(name) + ".kdf")).string()) << "x";
    HWND box = toolbar_edit(run_name_slot);
    ASSERT_NE(box, nullptr);
    SetWindowText(box, "typed before");
    pick_list_entry(2);
    EXPECT_EQ(shell_sim_window_command(sc_pick_run_name, 0, 0), 1);
    EXPECT_STREQ(ctx_text(model_rec, model_rec->setup.run_name), "zeta");
    char shown[64] = {};
    GetWindowText(box, shown, sizeof shown);
    EXPECT_STREQ(shown, "zeta");
}

// The method list starts at the model's method; the one picked is kept and
// named on the toolbar. A method number out of range starts at the last.
TEST_F(GameAmount, TheMethodListStartsAtTheModelsMethodAndTheChoiceIsShown) {
    int at = -1;
    auto note_selection = [&](HWND d) {
        at = static_cast<int>(SendDlgItemMessage(d, idc_answer, LB_GETCURSEL, 0, 0));
    };
    model_rec->setup.method = 3;
    answerer::dialog(dlg_ask_list).call(note_selection).press(IDCANCEL);
    EXPECT_EQ(shell_sim_window_command(sc_pick_method, 0, 0), 0);
    EXPECT_EQ(at, 3);
    EXPECT_EQ(model_rec->setup.method, 3) << "cancel keeps the method";

    pick_list_entry(1);
    EXPECT_EQ(shell_sim_window_command(sc_pick_method, 0, 0), 1);
    EXPECT_EQ(model_rec->setup.method, 1);
    const char* label = toolbar_slot(method_slot).label;
    EXPECT_STREQ(label ? label : "", "RK4 Fixed");

    model_rec->setup.method = 9;
    answerer::dialog(dlg_ask_list).call(note_selection).press(IDCANCEL);
    shell_sim_window_command(sc_pick_method, 0, 0);
    EXPECT_EQ(at, 4);
}

// Blanks and tabs around the amount are left out.
TEST_F(GameAmount, TabsAroundTheAmountAreLeftOut) {
    game_interval = 10;
    menu_command(cmd_run_game);
    ASSERT_TRUE(game_in_progress());
    HWND amount = game_amount_field();
    ASSERT_NE(amount, nullptr);
    SetWindowText(amount, "\t4\t ");
    move_forward();
    EXPECT_EQ(answerer::pending(), 0u);
    EXPECT_EQ(time_label(), "Time 14");
}

} // namespace
