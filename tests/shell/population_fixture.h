// The fixture of the shell's simulation tests: a workbench with the
// program's hooks and the population sample open (0 to 200, TIME STEP 0.5,
// SAVEPER 1), no work-in-progress window; after each test any game is ended,
// the set-up cleared, the runs unloaded and the simulation idle. With the
// helpers a user's steps need: naming the run, the first run shown, and the
// Constant Changes dialog's rows and set-up copies.
#pragma once

// The run reader's header names a field "slots", which Qt's headers define
// as a macro: it comes before them.
#include "runs/runfile.h"
#include "shell_fixture.h"
#include "tests/shell/run_state.h"

#include "model/context.h"
#include "resources/simdlg.h"
#include "runs/select.h"
#include "shell/toolbar.h"
#include "shell/wiring.h"
#include "sim/changes.h"
#include "sim/game.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "sim/simdata.h"

#include <string>

class PopulationTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        install_program_hooks();
        set_sim_pump_hook(nullptr);
        model_ = sample("population.kmf");
        ASSERT_EQ(shell_open_model(1, 0, model_.c_str(), 0), 1);
    }
    void TearDown() override {
        end_game();
        game_interval = 0;
        clear_setup();
        unload_runs(1);
        sim_phase = phase_idle;
        run_kind = 0;
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }

    static void name_run(const char* name) { name_next_run(name); }
    static std::string first_selected() { return first_selected_run(); }
    // A constant's value in the set-up copy.
    static float copy_value(const char* name) {
        for (const setup_item& it : setup_items(0))
            if (it.name == name) {
                handle_lock<float> v(setup_copy);
                return v.get()[it.slot];
            }
        ADD_FAILURE() << "no constant " << name;
        return 0;
    }
    // Chooses the row of a constant in a changes dialog's list as a click
    // does; its index, -1 when there is none.
    static int choose_row(HWND d, const char* name) {
        HWND list = GetDlgItem(d, ids_list);
        int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            if (row_text(d, i).find(std::string(name) + " =") == std::string::npos) continue;
            SendMessage(list, LB_SETCURSEL, i, 0);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(ids_list, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list));
            return i;
        }
        ADD_FAILURE() << "no row " << name;
        return -1;
    }
    // Chooses a constant's row and types a value, as a user does.
    static void type_value(HWND d, const char* name, const char* text) {
        if (choose_row(d, name) < 0) return;
        SetDlgItemText(d, ids_value, text);
        SendMessage(d, WM_COMMAND, ids_set, 0);
    }
    static std::string row_text(HWND d, int i) {
        return test_driver::list_text(GetDlgItem(d, ids_list), i);
    }

    // Presses and releases a toolbar slot's button as a user does.
    static void press_toolbar(int slot) {
        toolbar_follow_mode();
        const toolbar_item& it = toolbar_slot(slot);
        test_driver::click(toolbar_wnd, it.x + it.width / 2, 12);
        test_driver::run_until_idle();
    }
    static std::string toolbar_label(int slot) {
        const char* l = toolbar_slot(slot).label;
        return l ? l : "";
    }

    std::string model_;
};
