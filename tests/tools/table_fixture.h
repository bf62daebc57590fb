// The Table tool's fixtures: the population sample with two runs ("base",
// then "slow" at birth rate 0.02) and the subscripted sample with one, each
// in the workbench with the tools installed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/textsrc.h"
#include "model/context.h"
#include "model/model.h"
#include "model/varnames.h"
#include "runs/runfile.h"
#include "runs/select.h"
#include "shell/mainwnd.h"
#include "shell/palette.h"
#include "shell/rundrv.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"
#include "tools/table.h"
#include "tools/texttools.h"

// Changes a tool's options in its block, as its setup dialog does.
template <class Options, class Change> inline void change_options(handle t, Change change) {
    tool_record* r = lock_tool(t);
    ASSERT_NE(r, nullptr);
    change(*static_cast<Options*>(tool_options(r)));
    unlock_tool(t);
}
template <class Change> inline void change_table_options(handle t, Change change) {
    change_options<table_tool_options>(t, change);
}

// Opens a model (the palette out of the way) and simulates it into the run
// `run`, with `var` the workbench variable.
inline void open_and_simulate(const std::string& model, const char* run, const char* var) {
    ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
    if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
    install_run_driver();
    wip_install_sim_hooks();
    ask_dataset_overwrite = false;
    model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, run);
    ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
    lock_model(0);
    workbench_var = {};
    workbench_var.var = find_symbol(var);
    unlock_model(0);
}

// The workbench the Table tests draw on: the text tools installed and the
// main window shown at 1200 x 900.
class ToolsWorkbenchTest : public ShellWorkbenchTest {
protected:
    void show_tools_workbench() {
        install_tools_hooks();
        install_text_tools();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
    }
};

// The Table tool on two runs of the population sample.
class TableTool : public ToolsWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        show_tools_workbench();
        const std::string model = sample("population.kmf");
        ASSERT_EQ(open_model(1, 0, model.c_str(), 0), 1);
        if (HWND palette = test_driver::find_window("Kavrel_tools")) ShowWindow(palette, SW_HIDE);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
        set_run_name("base");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        lock_model(0);
        const std::int32_t slot = sym(find_symbol("birth rate"))->slot;
        unlock_model(0);
        ASSERT_EQ(ensure_setup_copy(0), 1);
        ASSERT_EQ(set_setup_value(slot, 0.02f), 1);
        set_run_name("slow");
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        ASSERT_EQ(loaded_run_names(1), 2);
        choose("Population");
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        for (handle t : tools_) free_tool(t);
        for (const char* row : {"Loops", "Outline", "Document", "Table", "Stats"})
            set_tool_setup(find_tool_row(row), nullptr);
        set_report_sink(report_text, nullptr);
        set_report_sink(report_grid, nullptr);
        spread_window_hook = nullptr;
        workbench_var = {};
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    static void set_run_name(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
    }
    static void choose(const char* name) {
        lock_model(0);
        workbench_var = {};
        workbench_var.var = name ? find_symbol(name) : 0;
        unlock_model(0);
    }
    handle tool(const char* row, const char* line = nullptr) {
        const int r = find_tool_row(row);
        handle t = new_tool(r, row, analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
        if (line) {
            const char* text[] = {line};
            EXPECT_EQ(push_text_source(text, 1, 0), 1);
            analysis_tool_table[r].setup(0, t, nullptr, "x");
            close_text_source();
        } else {
            analysis_tool_table[r].setup(0, t, nullptr, nullptr);
        }
        tools_.push_back(t);
        return t;
    }
    static handle run(handle t) {
        run_palette_tool(t);
        test_driver::run_until_idle();
        tool_record* r = lock_tool(t);
        handle out = r ? r->output : 0;
        unlock_tool(t);
        return out;
    }
    std::vector<handle> tools_;
};

// The array output of the subscripted sample's demand[region, product].
class ArrayTable : public ToolsWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        show_tools_workbench();
        const std::string model = sample("subscripted.kmf");
        ASSERT_NO_FATAL_FAILURE(open_and_simulate(model, "one", "demand"));
        const int r = find_tool_row("Table");
        tool_ = new_tool(r, "Table", analysis_tool_table[r].setup(0, 0, nullptr, nullptr));
        analysis_tool_table[r].setup(0, tool_, nullptr, nullptr);
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
        free_tool(tool_);
        for (const char* row : {"Loops", "Outline", "Document", "Table", "Stats", "Tree Diagram"})
            set_tool_setup(find_tool_row(row), nullptr);
        set_report_sink(report_text, nullptr);
        set_report_sink(report_grid, nullptr);
        spread_window_hook = nullptr;
        workbench_var = {};
        close_model(0, 0);
        unload_runs(1);
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    handle tool_ = 0;
};
