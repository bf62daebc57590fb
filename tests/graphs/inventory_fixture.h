// The workbench on the inventory sample with its graph set, the graph tools
// and the run driver installed: the fixture of the tests that simulate and
// open the set's graphs. A test class adds its own set-up before the
// workbench is made (more_setup) and its own clean-up before the common one
// (more_teardown).
#pragma once

#include <gtest/gtest.h>

#include "graphs/customgraph.h"
#include "graphs/graphtool.h"
#include "graphs/sets/graphset.h"
#include "model/context.h"
#include "model/model.h"
#include "runs/runfile.h"
#include "shell/mainwnd.h"
#include "shell/rundrv.h"
#include "shell/state.h"
#include "shell/wip.h"
#include "sim/control.h"
#include "sim/runname.h"
#include "sim/setup.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

class InventoryWorkbenchTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_graph_hooks();
        install_graph_set_hooks();
        more_setup();
        if (::testing::Test::HasFatalFailure()) return;
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1200, 900, TRUE);
        layout_frame(main_wnd);
        sample_path_ = sample("inventory.kmf");
        ASSERT_EQ(open_model(1, 0, sample_path_.c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
        ask_dataset_overwrite = false;
    }
    void TearDown() override {
        close_framed_tool_windows(1);
        more_teardown();
        set_graph_set_hook(nullptr);
        set_wip_graph_updater(nullptr);
        set_wip_run_start_hook(nullptr);
        graphics_window_hook = nullptr;
        float_opts = 0;
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        for (std::size_t i = 1; i < graph_sets().size(); ++i) free_graph_set(static_cast<int>(i));
        ask_dataset_overwrite = true;
        ShellWorkbenchTest::TearDown();
    }
    virtual void more_setup() {}
    virtual void more_teardown() {}

    void simulate(const char* name) {
        model_rec->setup.run_name = ctx_set_text(model_rec, model_rec->setup.run_name, name);
        ASSERT_EQ(run_command(rc_simulate, 0, 0, nullptr), 1);
        test_driver::run_until_idle();
    }
    graph_set* set() { return graph_set_at(current_graph_set()); }

    std::string sample_path_; // the model opened, in the test's folder
};
