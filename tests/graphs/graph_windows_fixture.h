// The workbench with the tools and graphs installed and its frame shown at
// 1200 x 900, no model open: the fixture of tests that open graph windows of
// their own making. Their windows are closed again after each test.
#pragma once

#include <gtest/gtest.h>

#include "graphs/graphtool.h"
#include "graphs/graphwin.h"
#include "graphs/moregraphs.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/runfile.h"
#include "shell/palette.h"
#include "shell/toolset.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <string>

class GraphWindowsTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_graph_hooks();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        graphics_window_hook = nullptr;
        ShellWorkbenchTest::TearDown();
    }
};

// A tool of one row of the palette over a model of the tests' own: every
// graph tool installed and the frame shown at 1400 x 1000. After each test the
// tool's windows are closed, the tool freed, the row's setup cleared, and the
// model and its runs gone.
class GraphToolTest : public ShellWorkbenchTest {
protected:
    explicit GraphToolTest(const char* row) : row_(row) {}
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_graph_hooks();
        install_more_graphs();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1400, 1000, TRUE);
        layout_frame(main_wnd);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        if (tool_) free_tool(tool_);
        set_tool_setup(find_tool_row(row_), nullptr);
        graphics_window_hook = nullptr;
        workbench_var = {};
        close_model(0, 0);
        unload_runs(1);
        ShellWorkbenchTest::TearDown();
    }
    // Makes a variable of the open model the workbench variable.
    static void choose_variable(const char* var) {
        lock_model(0);
        workbench_var = {};
        workbench_var.var = find_symbol(var);
        unlock_model(0);
    }
    // Runs the tool as the palette does and lets its windows settle.
    void run_tool() {
        tool_record* r = lock_tool(tool_);
        tool_action action = tool_action_of(r->action);
        unlock_tool(tool_);
        tool_action_runner(action, tool_);
        test_driver::run_until_idle();
    }

    const char* row_;
    handle tool_ = 0;
    std::string model_;
};
