// The exit's question about graph sets with unsaved changes (Cancel keeps
// the program running), and the tooltip that never keeps the keyboard.
#include "shell_fixture.h"

#include "shell/controls/tooltip.h"
#include "shell/upcalls.h"

#include <vector>

namespace td = test_driver;

namespace {

class ExitAndFocus : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        saved = graph_set_slots;
        asked.clear();
    }
    void close_windows() override {
        graph_set_slots = saved;
        ShellWorkbenchTest::close_windows();
    }
    graph_set_slot_hooks saved;
    static std::vector<int> asked;
    static int answer;
};
std::vector<int> ExitAndFocus::asked;
int ExitAndFocus::answer = 1;

TEST_F(ExitAndFocus, CancellingTheGraphSetsQuestionKeepsTheProgramRunning) {
    graph_set_slots.ask_save = [](int all) {
        asked.push_back(all);
        return answer;
    };
    answer = 0; // Cancel
    EXPECT_EQ(run_exit_checks(), 0);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), 1); // every set is asked about
    answer = 1;
    asked.clear();
    EXPECT_EQ(run_exit_checks(), 1);
    EXPECT_FALSE(asked.empty());
}

TEST_F(ExitAndFocus, TheTooltipHandsTheKeyboardBack) {
    ASSERT_NE(tooltip_wnd, nullptr);
    ShowWindow(main_wnd, SW_SHOW);
    SetFocus(main_wnd);
    td::run_until_idle();
    ASSERT_EQ(GetFocus(), main_wnd);
    SetFocus(tooltip_wnd);
    td::run_until_idle();
    EXPECT_EQ(GetFocus(), main_wnd);
}

} // namespace
