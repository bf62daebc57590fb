// A palette row filled to its last column: the tool there is run by a click
// on either half, the right half in the row's last cell included.
#include "shell/palette.h"
#include "shell/toolset.h"
#include "shell/upcalls.h"
#include "shell_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_full_ran;
void record_full(handle tool) {
    g_full_ran.push_back(tool_name(tool));
}
int recording_loops(int mode, handle tool, std::string* out, const char* text) {
    int size = seam_loops_setup(mode, tool, out, text);
    if (tool && mode == 0) {
        tool_record* r = lock_tool(tool);
        r->action = tool_action_id(record_full);
        unlock_tool(tool);
    }
    return size;
}

class PaletteFullRow : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        g_full_ran.clear();
        set_tool_setup(2, recording_loops);
        make_workbench();
        toolset_changed_hook = palette_toolset_changed;
        ShowWindow(main_wnd, SW_SHOW);
        free_toolset(0);
    }
    void TearDown() override {
        free_toolset(0);
        toolset_changed_hook = nullptr;
        set_tool_setup(2, nullptr);
        ShellWorkbenchTest::TearDown();
    }
};

TEST_F(PaletteFullRow, TheLastColumnsHalfRunsItsTool) {
    ASSERT_EQ(open_model(1, 0, sample("population.kmf").c_str(), 0), 1);
    // One row of eight columns (the fewest a palette has) holding four tools,
    // two cells each.
    std::string text = "1.62\n=1,=8,=1,=1,=1,=1\n";
    for (int i = 0; i < 4; ++i)
        text += "Loops|T" + std::to_string(i) + "\n=0,=" + std::to_string(2 * i) +
                ",=-1,=-1,=0,=0,=0,=0,=0,\n";
    const std::string path = ::testing::TempDir() + "/full_row.kts";
    std::ofstream(path, std::ios::binary) << text;
    ASSERT_EQ(read_toolset(path.c_str(), 0), 4);
    test_driver::run_until_idle();
    ASSERT_TRUE(IsWindowVisible(tools_wnd));
    const int h = palette_cell_height();
    for (int cell : {0, 3, 6, 7}) {
        test_driver::advance(1000);
        test_driver::click(tools_wnd, 2 + palette_cell_w / 2, 2 + cell * h + h / 2);
        test_driver::run_until_idle();
    }
    EXPECT_EQ(g_full_ran, (std::vector<std::string>{"T0", "T1", "T3", "T3"}));
    close_model(0, 0);
}

} // namespace
