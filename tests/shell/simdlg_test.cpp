// The set-up dialogs as a user meets them: Constant Changes and Lookup
// Changes take typed changes into the set-up copies only when every one
// parses (a bad one is refused with its field focused), set-up names itself
// in the title, and leaving it with unused changes asks whether to keep them.
#include "runs/core/runfile.h"

#include "shell_fixture.h"
#include "shot.h"

#include "foundation/report.h"
#include "resources/menus.h"
#include "resources/simdlg.h"
#include "runs/core/select.h"
#include "shell/mainloop.h"
#include "shell/menucmd.h"
#include "shell/rundrv.h"
#include "shell/simdlg.h"
#include "shell/title.h"
#include "shell/wiring.h"
#include "sim/changes.h"
#include "sim/setup.h"
#include "sim/simdata.h"

namespace td = test_driver;

namespace {

class SimDialogs : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        install_program_hooks();
        set_sim_pump_hook(nullptr);
        ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        td::run_until_idle();
    }
    void TearDown() override {
        clear_setup();
        unload_runs(1);
        sim_phase = phase_idle;
        ShellWorkbenchTest::TearDown();
    }
    static float copy_value(const char* name) {
        for (const setup_item& it : setup_items(0))
            if (it.name == name) {
                handle_lock<float> v(setup_copy);
                return v.get()[it.slot];
            }
        ADD_FAILURE() << "no constant " << name;
        return 0;
    }
    // Chooses a list row by its name and types a value, as a user does.
    static void type_value(HWND d, const char* name, const char* text) {
        HWND list = GetDlgItem(d, ids_list);
        int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char line[256] = {};
            SendMessage(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            if (std::string(line).find(std::string(name) + " =") == std::string::npos) continue;
            SendMessage(list, LB_SETCURSEL, i, 0);
            SendMessage(d, WM_COMMAND, MAKEWPARAM(ids_list, LBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list));
            SetDlgItemText(d, ids_value, text);
            SendMessage(d, WM_COMMAND, ids_set, 0);
            return;
        }
        ADD_FAILURE() << "no row " << name;
    }
};

TEST_F(SimDialogs, ConstantChangesTakeEveryTypedValueAtOnce) {
    int changed_rows = 0;
    answerer::dialog(dlg_constant_changes)
        .call([&](HWND d) {
            type_value(d, "birth rate", "0.05");
            type_value(d, "average lifetime", "70");
            type_value(d, "carrying capacity", " 12000 ");
            HWND list = GetDlgItem(d, ids_list);
            int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
            for (int i = 0; i < n; ++i) {
                char line[256] = {};
                SendMessage(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
                if (line[0] == '*') ++changed_rows;
            }
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
