// The fixture of the text windows' tests: the workbench shown with the tools
// and text windows installed and its container 700 x 500 pixels, no error or
// message window yet; after each test every tool window is closed and the
// error window's state and the low message sink cleared.
#pragma once

#include "foundation/report.h"
#include "model/varnames.h"
#include "shell/msgbox.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/errwin.h"
#include "tools/output.h"
#include "tools/textwin.h"

#include <gtest/gtest.h>

class TextWindowTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_text_hooks();
        err_window = 0;
        err_window_on = 0;
        message_text_window = 0;
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(container_wnd, 0, 30, 700, 500, TRUE);
        test_driver::run_until_idle();
    }
    void TearDown() override {
        err_window_on = 0;
        message_text_window = 0;
        set_error_title("");
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        err_window = 0;
        set_low_message_sink(nullptr);
        workbench_var = {};
        ShellWorkbenchTest::TearDown();
    }
};
