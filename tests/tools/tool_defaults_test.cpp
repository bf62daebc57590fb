// What a new tool shows before its options are touched, and the colours of
// runs a user table reads from files.
#include "foundation/docwriter.h"
#include "table_fixture.h"

#include "foundation/report.h"
#include "runs/access.h"
#include "runs/cache.h"
#include "tests/support/run_builder.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"
#include "tools/statstool.h"
#include "tools/tree.h"
#include "tools/usertable.h"

#include <string>
#include <vector>

namespace {

// The five fonts a tree tries, largest first, in points.
TEST(ToolDefaults, ATreeTriesEighteenTwelveTenEightAndSixPoints) {
    const tree_tool_options o = tree_defaults();
    std::vector<int> sizes;
    for (const font_spec& f : o.fonts) sizes.push_back(f.size);
    EXPECT_EQ(sizes, (std::vector<int>{18, 12, 10, 8, 6}));
}

// The label column of a new Stats tool is 30 characters wide, three value
// columns of 10.
TEST_F(TableTool, ANewStatsToolsLabelColumnIsThreeValueColumnsWide) {
    handle rec = run(tool("Stats"));
    ASSERT_NE(rec, 0u);
    ASSERT_GT(spread_tab_width(rec), 0);
    EXPECT_EQ(spread_first_tab(rec), 3 * spread_tab_width(rec));
}

// Runs read from files take the colours after the selected runs' (two
// here), in the order the table meets them, one colour a file.
TEST_F(TableTool, UserTableRunFilesTakeTheColoursAfterTheSelectedRuns) {
    std::vector<float> times{0, 1, 2};
    std::vector<std::string> files;
    for (const char* name : {"east", "west"}) {
        const std::string file = dir + "/" + name + ".kdf";
        run_builder rb(cur_model_symbols);
        rb.times(times).series("Population", std::vector<float>{1, 2, 3});
        ASSERT_EQ(rb.write(file), 1) << rb.error();
        files.push_back(file);
    }
    user_table_spec s;
    s.title = "From files";
    for (int i : {0, 1, 0}) {
        user_table_item it;
        it.name = "Population";
        it.dataset = files[static_cast<std::size_t>(i)];
        s.items.push_back(it);
    }
    int first = -1;
    lock_model(1);
    const std::vector<user_table_row> rows = plan_user_table(s, &first);
    unlock_model(1);
    std::vector<int> colours;
    for (const user_table_row& r : rows) colours.push_back(r.colour);
    EXPECT_EQ(colours, (std::vector<int>{3, 4, 3}));
}

// Without a workbench variable the grid tools say which tool needs one and
// where to choose it, and open no window.
TEST_F(TableTool, GridToolsWithoutAVariableSayWhereToChooseOne) {
    choose(nullptr);
    for (const char* row : {"Table", "Stats"}) {
        answerer::box(severity_caption(8))
            .text(std::string(row) +
                  ": no workbench variable is chosen. Click a name on the diagram or choose "
                  "one on the Control Panel's Variable page.")
            .press(IDOK);
        EXPECT_EQ(run(tool(row)), 0u) << row;
        EXPECT_EQ(answerer::pending(), 0u) << row;
    }
}

} // namespace
