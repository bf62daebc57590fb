// The Control Panel's Graphs page: the work-in-progress graph switch turned
// on and off again, and Display running every selected graph by its whole
// name, the longest name the list gives included.
#include "shell_fixture.h"

#include "resources/panel.h"
#include "shell/controlpanel.h"
#include "shell/floats.h"
#include "shell/upcalls.h"

#include <string>
#include <vector>

namespace td = test_driver;

namespace {

std::vector<std::string>& listed_graphs() {
    static std::vector<std::string> g;
    return g;
}
std::vector<std::string>& graphs_run() {
    static std::vector<std::string> r;
    return r;
}

class GraphsPage : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        control_tab = 0;
        graphs_run().clear();
        graph_set_slots.tool_names = [](std::vector<std::string>* out) {
            *out = listed_graphs();
            return static_cast<int>(out->size());
        };
        graph_set_slots.run_tool = [](const char* name) {
            graphs_run().emplace_back(name);
            return 1;
        };
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
    }
    void TearDown() override {
        ShellWorkbenchTest::TearDown();
        graph_set_slots.tool_names = nullptr;
        graph_set_slots.run_tool = nullptr;
        float_opts = 0;
    }
    HWND open_page() {
        EXPECT_EQ(menu_command(cmd_control_panel), 1);
        td::run_until_idle();
        if (!control_wnd) return nullptr;
        select_tab(control_wnd, tab_graphs, true);
        td::run_until_idle();
        return control_page;
    }
    static void click(HWND page, int id) {
        HWND c = GetDlgItem(page, id);
        RECT r{};
        GetClientRect(c, &r);
        td::click(c, r.right / 2 > 8 ? 6 : r.right / 2, r.bottom / 2);
        td::run_until_idle();
    }
};

// The switch follows each click: on, then off again.
TEST_F(GraphsPage, TheProgressGraphSwitchTurnsOnAndOff) {
    listed_graphs() = {"stocks"};
    float_opts = 0;
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    EXPECT_NE(IsDlgButtonChecked(page, idg_wip), BST_CHECKED);
    click(page, idg_wip);
    EXPECT_EQ(IsDlgButtonChecked(page, idg_wip), BST_CHECKED);
    EXPECT_NE(float_opts & fo_wip_graph, 0);
    click(page, idg_wip);
    EXPECT_NE(IsDlgButtonChecked(page, idg_wip), BST_CHECKED);
    EXPECT_EQ(float_opts & fo_wip_graph, 0) << "unchecked, the graph is off";
}

// Display runs the selected graphs, each by its name as listed, a name of
// 255 characters whole; nothing selected runs nothing.
TEST_F(GraphsPage, DisplayRunsEachSelectedGraphByItsWholeName) {
    const std::string longest(255, 'g');
    listed_graphs() = {"stocks", longest, "flows"};
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    HWND list = GetDlgItem(page, idg_list);
    ASSERT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 3);
    SendMessage(GetDlgItem(page, idg_display), BM_CLICK, 0, 0);
    td::run_until_idle();
    EXPECT_TRUE(graphs_run().empty()) << "nothing selected";
    SendMessage(list, LB_SETSEL, TRUE, 1);
    SendMessage(list, LB_SETSEL, TRUE, 2);
    SendMessage(GetDlgItem(page, idg_display), BM_CLICK, 0, 0);
    td::run_until_idle();
    EXPECT_EQ(graphs_run(), (std::vector<std::string>{longest, "flows"}));
}

// The buttons stand in two rows under the list: Display, Modify, Copy and
// New, then Delete and Reorder, each row from the left.
TEST_F(GraphsPage, TheButtonsStandInTwoRowsInTheirOrder) {
    listed_graphs() = {"stocks"};
    HWND page = open_page();
    ASSERT_NE(page, nullptr);
    auto rect = [page](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(page, id), &r);
        return r;
    };
    const int first[4] = {idg_display, idg_modify, idg_copy, idg_new};
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(rect(first[i]).top, rect(first[0]).top) << i;
        EXPECT_GT(rect(first[i]).left, rect(first[i - 1]).right - 1) << i;
    }
    const RECT del = rect(idg_delete), re = rect(idg_reorder);
    EXPECT_EQ(del.top, re.top);
    EXPECT_GT(del.top, rect(idg_display).bottom - 1) << "the second row is below";
    EXPECT_EQ(del.left, rect(idg_display).left) << "Delete first, under Display";
    EXPECT_EQ(re.left, rect(idg_modify).left) << "Reorder under Modify";
    EXPECT_LT(rect(idg_list).bottom, rect(idg_display).top) << "the list above the buttons";
}

} // namespace
