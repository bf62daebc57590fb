// Open Model given a tool set file: an analysis tool set (.kts) replaces the
// palette's tools, a sketch tool set (.sts) the sketch's, whatever the case of
// the extension; the model stays as it was.
#include "shell_fixture.h"

#include "shell/toolset.h"

#include <fstream>
#include <string>

namespace {

class OpenToolsets : public ShellWorkbenchTest {
protected:
    void SetUp() override {
        ShellWorkbenchTest::SetUp();
        make_workbench();
        free_toolset(0);
        free_toolset(1);
    }
    void TearDown() override {
        free_toolset(0);
        free_toolset(1);
        ShellWorkbenchTest::TearDown();
    }
    // A tool set file of n Loops tools.
    std::string tool_file(const char* name, int n) {
        std::string text = "1.62\n=4,=30,=1,=1,=1,=1\n";
        for (int i = 0; i < n; ++i)
            text += "Loops|T" + std::to_string(i) + "\n=0,=" + std::to_string(2 * i) +
                    ",=-1,=-1,=0,=0,=0,=0,=0,\n";
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static int tools_in(const palette_grid& g) {
        int n = 0;
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.cols; ++c) n += grid_tool(g, r, c) != 0;
        return n;
    }
    static void open_through_menu(const std::string& path) {
        set_pending_open(1, path.c_str(), 0);
        menu_command(cmd_open_model);
    }
};

TEST_F(OpenToolsets, EachKindOfToolSetGoesToItsOwnGrid) {
    const std::string analysis = tool_file("five.kts", 5);
    const std::string sketch = tool_file("three.sts", 3);
    open_through_menu(analysis);
    EXPECT_TRUE(last_open_outcome().opened);
    EXPECT_EQ(tools_in(palette_cells), 5);
    EXPECT_EQ(tools_in(sketch_cells), 0);
    open_through_menu(sketch);
    EXPECT_TRUE(last_open_outcome().opened);
    EXPECT_EQ(tools_in(palette_cells), 5);
    EXPECT_EQ(tools_in(sketch_cells), 3);
    // Upper-case extensions are the same kinds.
    open_through_menu(tool_file("SEVEN.KTS", 7));
    EXPECT_EQ(tools_in(palette_cells), 7);
    EXPECT_EQ(tools_in(sketch_cells), 3);
    open_through_menu(tool_file("TWO.STS", 2));
    EXPECT_EQ(tools_in(palette_cells), 7);
    EXPECT_EQ(tools_in(sketch_cells), 2);
}

} // namespace
