// The workbench with the tools and graphs installed and its frame shown at
// 1200 x 900, no model open: the fixture of tests that open graph windows of
// their own making. Their windows are closed again after each test.
#pragma once

#include <gtest/gtest.h>

#include "graphs/graphtool.h"
#include "shell/palette.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

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
