// The Control Panel's tests' fixture: a workbench whose model's full range is
// 0 to 100 in arrow steps of 1, shown whole (the special time at its end), the
// panel on its first tab with the Scaling options cleared; the panel is
// destroyed after each test.
#pragma once

#include "shell_fixture.h"

#include "model/context.h"
#include "shell/controlpanel.h"
#include "shell/controls/scaler.h"
#include "shell/settings_rows.h"

class ControlPanelTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ASSERT_NE(model_rec, nullptr);
        model_rec->full_start = 0;
        model_rec->full_end = 100;
        model_rec->arrow_step = 1;
        model_rec->start = 0;
        model_rec->end = 100;
        model_rec->special = 100;
        scaling_opts = scaling_options{};
        control_tab = 0;
    }
    void TearDown() override {
        scaling_opts = scaling_options{};
        ShellWorkbenchTest::TearDown();
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
    }
    // Opens the panel as the menu item does, on a tab; its page, or null.
    HWND open_on(int tab) {
        EXPECT_EQ(menu_command(cmd_control_panel), 1);
        test_driver::run_until_idle();
        if (!control_wnd) return nullptr;
        select_tab(control_wnd, tab, true);
        test_driver::run_until_idle();
        return control_page;
    }
    // The Time Axis page with its scaler 210 pixels wide (10 of margin each
    // side) and the axis from 10 to 90, the special time at 50; its page.
    HWND open_time_axis() {
        HWND page = open_on(tab_time_axis);
        scaler.width = 210;
        scaler.margin = 10;
        model_rec->start = 10;
        model_rec->end = 90;
        model_rec->special = 50;
        return page;
    }
    // A whole text put into a box of the page at once, as pasted (typing
    // applies every prefix).
    static void paste(HWND page, int id, const char* text) {
        SetDlgItemText(page, id, text);
        test_driver::run_until_idle();
    }
};
