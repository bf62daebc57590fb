// The Table tool's options as a user sets them: the time interval against
// the runs' saving interval, the column widths of a default table, the users
// of the variable as related variables, and the Document tool's values of a
// subscripted variable's elements.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/docwriter.h"
#include "model/model.h"
#include "tests/tools/table_fixture.h"
#include "tools/document.h"
#include "tools/grid_core.h"
#include "tools/gridwin.h"

namespace {

// The labels of the rows the table writes in the first run's colour.
std::vector<std::string> first_run_labels(const grid_rows* g) {
    std::vector<std::string> labels;
    for (const grid_row& row : g->rows)
        if (row.colour == 1) labels.push_back(grid_label_fields(row.label).front());
    return labels;
}

TEST_F(TableTool, TheTimeIntervalIsTheLargerOfTheOptionAndTheSavingInterval) {
    // The runs save every year from 0 to 200.
    for (const float interval : {5.0f, 0.5f, 0.0f}) {
        SCOPED_TRACE(interval);
        handle t = tool("Table");
        change_table_options(t, [&](table_tool_options& o) { o.interval = interval; });
        handle rec = run(t);
        ASSERT_NE(rec, 0u);
        const grid_rows* g = spread_rows(rec);
        ASSERT_FALSE(g->rows.empty());
        const grid_row& times = g->rows[0];
        if (interval == 5.0f) {
            // Every fifth year: 0, 5, ..., 200.
            ASSERT_EQ(times.cells.size(), 41u);
            EXPECT_EQ(times.cells[1].value, 5.0f);
            EXPECT_EQ(times.cells[40].value, 200.0f);
        } else {
            // Below the saving interval the table still steps a year.
            ASSERT_EQ(times.cells.size(), 201u);
            EXPECT_EQ(times.cells[1].value, 1.0f);
            EXPECT_EQ(times.cells[200].value, 200.0f);
        }
        close_framed_tool_windows(1);
        test_driver::run_until_idle();
    }
}

TEST_F(TableTool, ADefaultTableHasANameColumnOf30AndValueColumnsOf14Zeros) {
    handle t = tool("Table");
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    ASSERT_GT(spread_tab_width(rec), 0);
    // Both widths are counts of the same character's width.
    EXPECT_EQ(spread_first_tab(rec) * 14, spread_tab_width(rec) * 30);
}

TEST_F(TableTool, RelatedUsesListTheVariableThenWhatUsesIt) {
    choose("births");
    handle t = tool("Table");
    change_table_options(t, [](table_tool_options& o) { o.related = 1; });
    handle rec = run(t);
    ASSERT_NE(rec, 0u);
    const std::vector<std::string> labels = first_run_labels(spread_rows(rec));
    // births is used by Population alone; its causes (Population, birth
    // rate) are no part of a uses table.
    EXPECT_EQ(labels, (std::vector<std::string>{"births", "Population"}));

    // The causes of births for comparison.
    handle causes = tool("Table");
    change_table_options(causes, [](table_tool_options& o) { o.related = 0; });
    handle rec2 = run(causes);
    ASSERT_NE(rec2, 0u);
    const std::vector<std::string> cause_labels = first_run_labels(spread_rows(rec2));
    EXPECT_NE(std::find(cause_labels.begin(), cause_labels.end(), "birth rate"),
              cause_labels.end());
}

TEST_F(ArrayTable, DocumentValuesOfEveryElementOnOneLineSeparatedByCommas) {
    document_options o;
    o.values = 1;
    model_rec->special = 0;
    text_report(512, 200, 0, report_none, 0, 0);
    lock_model(0);
    const symbol_id demand = find_symbol("demand");
    unlock_model(0);
    ASSERT_EQ(document_variable(demand, o), 1);
    const std::string text = join_report_lines(1);
    text_report(0, 0, 0, report_none, 0, 0);
    // The list of the sample: north food 10, tools 5, cloth 2; south 8, 4, 3...
    EXPECT_NE(text.find(" [north,food]=10, [north,tools]=5, [north,cloth]=2, [south,food]=8,"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" [west,tools]=3,"), std::string::npos) << text;
    EXPECT_NE(text.find("[west,cloth]=4\n"), std::string::npos) << text;
}

} // namespace
