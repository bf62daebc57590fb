// The Control Panel turned from the keyboard as any tabbed dialog is:
// Ctrl+Page Down to the next page, Ctrl+Page Up to the one before, round
// from the last to the first.
#include "shell_fixture.h"

#include "resources/panel.h"
#include "resources/varselect.h"
#include "shell/controlpanel.h"

namespace td = test_driver;

namespace {

class PanelKeys : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        control_tab = 0;
    }
    void close_windows() override {
        control_panel(-1, -1, -1, -1, -1);
        ShellWorkbenchTest::close_windows();
    }
    void TearDown() override {
        win_set_key_state(VK_CONTROL, false);
        ShellWorkbenchTest::TearDown();
    }
    // A key through the main loop, as the user's keys go.
    static void key(int vk, unsigned mods) {
        td::press_key(vk, mods);
        td::on_idle([] {
            end_maintain(0, 0);
            PostMessage(nullptr, WM_NULL, 0, 0);
        });
        maintain(0);
    }
};

TEST_F(PanelKeys, CtrlPageDownAndUpTurnThePages) {
    ASSERT_EQ(menu_command(cmd_control_panel), 1);
    td::run_until_idle();
    ASSERT_NE(control_wnd, nullptr);
    select_tab(control_wnd, tab_variable, true);
    td::run_until_idle();
    SetFocus(GetDlgItem(control_page, idv_name));
    key(VK_NEXT, td::ctrl);
    EXPECT_EQ(control_tab, tab_time_axis);
    key(VK_NEXT, td::ctrl);
    EXPECT_EQ(control_tab, tab_scaling);
    key(VK_PRIOR, td::ctrl);
    EXPECT_EQ(control_tab, tab_time_axis);
    key(VK_PRIOR, td::ctrl);
    key(VK_PRIOR, td::ctrl);
    EXPECT_EQ(control_tab, tab_graphs) << "from the first page back round to the last";
    key(VK_NEXT, td::ctrl);
    EXPECT_EQ(control_tab, tab_variable);
}

} // namespace
