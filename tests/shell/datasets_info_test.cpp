// Info on the Datasets page with no run to tell about says what to do first.
#include "shell_fixture.h"

#include "resources/datasets.h"
#include "resources/panel.h"
#include "runs/runfile.h"
#include "shell/controlpanel.h"
#include "shell/datasets.h"

#include <string>

namespace td = test_driver;

namespace {

class DatasetsInfo : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        ShowWindow(main_wnd, SW_SHOW);
        MoveWindow(main_wnd, 0, 0, 1000, 800, TRUE);
        layout_frame(main_wnd);
        ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
        control_tab = 0;
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
    }
    void TearDown() override {
        close_model(0, 0);
        unload_runs(1);
        ShellWorkbenchTest::TearDown();
    }
};

TEST_F(DatasetsInfo, InfoOverAnEmptyListAsksForARunFirst) {
    control_panel(1, -1, -1, -1, -1);
    td::run_until_idle();
    ASSERT_NE(control_wnd, nullptr);
    select_tab(control_wnd, tab_datasets, true);
    td::run_until_idle();
    HWND page = datasets_page();
    ASSERT_NE(page, nullptr);
    for (int id : {idd_loaded, idd_available})
        ASSERT_EQ(SendMessage(GetDlgItem(page, id), LB_GETCOUNT, 0, 0), 0) << id;
    for (int button : {idd_loaded_info, idd_available_info}) {
        answerer::box(severity_caption(8))
            .text("First highlight the one run you want info about")
            .press(IDOK);
        SendMessage(GetDlgItem(page, button), BM_CLICK, 0, 0);
        td::run_until_idle();
        EXPECT_EQ(answerer::pending(), 0u) << button;
    }
}

} // namespace
