// The workbench with population.kmf open and the lookup editor's hooks in
// place, shared by the lookup editor's tests; and typing into its fields.
#pragma once

#include "graphs/lookupdlg.h"
#include "graphs/lookupedit.h"
#include "runs/access.h"
#include "shell/rundrv.h"
#include "shell/upcalls.h"
#include "shell/wip.h"
#include "sim/setup.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <string>

inline constexpr const char* lookup_name = "crowding effect on deaths";

// Types into a field as a person would and leaves it by clicking elsewhere.
inline void type_into(HWND d, int id, const std::string& text, int leave_to) {
    HWND f = GetDlgItem(d, id);
    SetFocus(f);
    SendMessage(f, EM_SETSEL, 0, -1);
    test_driver::type_text(text);
    test_driver::run_until_idle();
    SetFocus(GetDlgItem(d, leave_to));
    test_driver::run_until_idle();
}

class LookupEditorTest : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        install_tools_hooks();
        install_lookup_editor_hooks();
        make_workbench();
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        install_run_driver();
        wip_install_sim_hooks();
    }
    void TearDown() override {
        clear_setup();
        close_model(0, 0);
        unload_runs(1);
        lookup_editor_hooks = {};
        ShellWorkbenchTest::TearDown();
    }
    // The working copy of the lookup the tests edit.
    lookup_points working() {
        lookup_points p;
        EXPECT_TRUE(working_lookup_points(lookup_slot_of(lookup_name), &p));
        return p;
    }
};
