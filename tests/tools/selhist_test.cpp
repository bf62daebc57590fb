// The Variable Selection History window in the workbench, through the test
// driver: opened from the menu, a line for each new workbench variable (from
// a name typed, a click in another text window and a click in the history
// itself), one window at a time, its frame's place kept on closing and used
// when it opens again, and its saved position coming back at the next start.
#include "foundation/ini.h"
#include "model/varnames.h"
#include "shell/floats.h"
#include "shell/settings_io.h"
#include "shell/settings_rows.h"
#include "shell/toolset_hooks.h"
#include "shell/varselect.h"
#include "tests/shell/shell_fixture.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"
#include "tools/selhist.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

class SelectionHistory : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_hooks();
        install_selection_history();
        err_window = 0;
        std::fill(opts.sel_dim, opts.sel_dim + 4, 0);
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(container_wnd, 0, 30, 800, 560, TRUE);
        test_driver::run_until_idle();
        ASSERT_EQ(shell_open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        tool_window_hooks.selection_history = nullptr;
        set_low_message_sink(nullptr);
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
    static HWND frame() { return sel_history ? GetParent(outwin_window(sel_history)) : nullptr; }
    static RECT frame_in_container() {
        RECT r{};
        GetWindowRect(frame(), &r);
        MapWindowPoints(nullptr, container_wnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    static int history_frames() {
        int n = 0;
        for (HWND c = GetWindow(container_wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            char t[128] = {};
            GetWindowText(c, t, sizeof t);
            if (std::string(t) == "Variable Selection History") ++n;
        }
        return n;
    }
    static std::vector<std::string> history() {
        std::vector<std::string> out;
        const text_lines* t = textwin_lines(sel_history);
        for (int i = 0; t && i < t->lines(); ++i) out.emplace_back(t->line(i));
        return out;
    }
};

TEST_F(SelectionHistory, TheMenuOpensItAndEachNewWorkbenchVariableAddsALine) {
    menu_command(cmd_selection_history);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    EXPECT_EQ(history_frames(), 1);
    EXPECT_TRUE(IsWindowVisible(frame()));
    EXPECT_TRUE(history().empty());
    // An output window like any other: it becomes the active child.
    EXPECT_EQ(active_child, frame());

    ASSERT_EQ(select_var_text("births", 0, 6), 1);
    ASSERT_EQ(select_var_text("Population", 0, 10), 1);
    EXPECT_EQ(history(), (std::vector<std::string>{"births", "Population"}));
    EXPECT_EQ(select_var_text("no such thing", 0, 13), 0);
    EXPECT_EQ(history().size(), 2u) << "a failed choice adds nothing";

    // A click on a name in another text window chooses it, and so does a
    // click on a line of the history itself.
    handle other = open_text_window("Names", 300, 200, 400, 200, 0, nullptr);
    ASSERT_NE(other, 0u);
    textwin_printf(0, other, 1, "deaths = Population * death rate");
    test_driver::run_until_idle();
    const int lh = textwin_line_height(other);
    test_driver::click(outwin_window(other), 3, lh / 2);
    test_driver::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "deaths");
    ASSERT_EQ(history().size(), 3u);
    EXPECT_EQ(history()[2], "deaths");

    test_driver::click(outwin_window(sel_history), 3, lh / 2);
    test_driver::run_until_idle();
    EXPECT_EQ(workbench_var_text(), "births");
    ASSERT_EQ(history().size(), 4u);
    EXPECT_EQ(history()[3], "births");

    // Asked again while open: brought forward, not a second window.
    activate_record_window(other);
    EXPECT_NE(active_child, frame());
    menu_command(cmd_selection_history);
    test_driver::run_until_idle();
    EXPECT_EQ(history_frames(), 1);
    EXPECT_EQ(active_child, frame());
    EXPECT_EQ(history().size(), 4u);
    // Also when it is the active child already but covered by another
    // window of the container.
    SetWindowPos(outwin_window(other) ? GetParent(outwin_window(other)) : nullptr, HWND_TOP, 0, 0,
                 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_NE(GetWindow(container_wnd, GW_CHILD), frame());
    menu_command(cmd_selection_history);
    test_driver::run_until_idle();
    EXPECT_EQ(GetWindow(container_wnd, GW_CHILD), frame());
}

// A stored place without a height (or without a width) is no place: the
// window opens as it does with none stored.
TEST_F(SelectionHistory, AStoredPlaceWithoutAHeightOrWidthIsNotUsed) {
    menu_command(cmd_selection_history);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    const RECT fresh = frame_in_container();
    for (const auto& stored : {std::array<int, 4>{40, 50, 360, 0}, {40, 50, 0, 240}}) {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        std::copy(stored.begin(), stored.end(), opts.sel_dim);
        menu_command(cmd_selection_history);
        test_driver::run_until_idle();
        ASSERT_NE(sel_history, 0u);
        const RECT r = frame_in_container();
        EXPECT_EQ(r.right - r.left, fresh.right - fresh.left) << stored[2] << "x" << stored[3];
        EXPECT_EQ(r.bottom - r.top, fresh.bottom - fresh.top) << stored[2] << "x" << stored[3];
    }
}

TEST_F(SelectionHistory, ClosingKeepsItsPlaceWhichTheNextOpeningUses) {
    selection_history(1, 40, 50, 360, 240);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    RECT r = frame_in_container();
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 360) << "the place given is the frame's, not the text's";
    EXPECT_EQ(r.bottom - r.top, 240);

    // The user moves it, then closes it from its caption's Delete button.
    MoveWindow(frame(), 70, 90, 300, 200, TRUE);
    HWND text = outwin_window(sel_history);
    SendMessage(text, WM_COMMAND, cmd_close_output, 0);
    test_driver::run_until_idle();
    EXPECT_EQ(sel_history, 0u);
    EXPECT_EQ(history_frames(), 0);
    EXPECT_EQ(float_window(fw_sel_history), nullptr);
    EXPECT_EQ(opts.sel_dim[0], 70);
    EXPECT_EQ(opts.sel_dim[1], 90);
    EXPECT_EQ(opts.sel_dim[2], 300);
    EXPECT_EQ(opts.sel_dim[3], 200);
    // Closed, a new choice goes nowhere (and does not touch the freed record).
    EXPECT_EQ(select_var_text("births", 0, 6), 1);

    // Placement only (open 0), then opening with -1s keeps it.
    selection_history(0, 20, -1, -1, -1);
    EXPECT_EQ(sel_history, 0u);
    EXPECT_EQ(opts.sel_dim[0], 20);
    selection_history(1, -1, -1, -1, -1);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    r = frame_in_container();
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 90);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);
    EXPECT_TRUE(history().empty()) << "a new window starts empty";
}

TEST_F(SelectionHistory, ItsPositionIsSavedAndReopensItAtTheNextStart) {
    selection_history(1, 30, 40, 320, 220);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    save_window_positions();
    const char* saved = ini_value("Sel History");
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved, "1-x=30,y=40,w=320,h=220");

    close_framed_tool_windows(1);
    test_driver::run_until_idle();
    ASSERT_EQ(sel_history, 0u);
    save_window_positions();
    EXPECT_EQ(ini_value("Sel History"), nullptr) << "a closed window's key is removed";

    ini_set("Sel History", "1-x=60,y=70,w=330,h=210");
    restore_float_positions();
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    RECT r = frame_in_container();
    EXPECT_EQ(r.left, 60);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right - r.left, 330);
    EXPECT_EQ(r.bottom - r.top, 210);
}

TEST_F(SelectionHistory, AToolsPendingPlacementIsNeitherUsedNorLost) {
    // A tool's action that asks for the history before opening its own
    // window keeps its one-shot placement and current output.
    const handle output_before = cur_output;
    preset_rect = {300, 200, 150, 100};
    selection_history(1, 30, 40, 320, 220);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    RECT r = frame_in_container();
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(preset_rect.x, 300);
    EXPECT_EQ(preset_rect.w, 150);
    EXPECT_EQ(cur_output, output_before);
    preset_rect = {};
}

// The container's left and top edges are places like any other: a history
// placed at 0, 0 (by the settings, say) opens there, not where it was before.
TEST_F(SelectionHistory, APlaceAtTheContainersCornerIsKept) {
    selection_history(0, 70, 90, 300, 200);
    selection_history(0, 0, 0, -1, -1);
    EXPECT_EQ(opts.sel_dim[0], 0);
    EXPECT_EQ(opts.sel_dim[1], 0);
    EXPECT_EQ(opts.sel_dim[2], 300);
    selection_history(1, -1, -1, -1, -1);
    test_driver::run_until_idle();
    ASSERT_NE(sel_history, 0u);
    const RECT r = frame_in_container();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);
}

} // namespace
