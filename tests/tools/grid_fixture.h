// The fixture of the tests of grid windows: the workbench shown with the
// tools and the grid window installed and its container 800 x 500 pixels;
// after each test every tool window is closed and the grid's hooks cleared.
#pragma once

#include "foundation/docwriter.h"
#include "model/varnames.h"
#include "shell/upcalls.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/gridwin.h"
#include "tools/output.h"

#include <gtest/gtest.h>

class GridWindowTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_grid_window();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(container_wnd, 0, 30, 800, 500, TRUE);
        test_driver::run_until_idle();
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        spread_window_hook = nullptr;
        set_report_sink(report_grid, nullptr);
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
};
