// The Gantt chart as a user sees it: each run's legend box and its bars in
// the same colour, run after run.
#include "draw/prims.h"
#include "graphs/gantt.h"
#include "graphs/graphtool.h"
#include "shell/palette.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

namespace td = test_driver;

class GanttColours : public GraphWindowsTest {};

// Three runs, one row: run k's bar takes the k-th third of the axis. Each
// run's colour shows first in its own legend line, the lines in run order,
// and then in its bar, the bars left to right in run order.
TEST_F(GanttColours, EachRunsLegendBoxHasItsBarsColour) {
    gantt_chart c;
    c.window_title = "Stock : Gantt";
    c.var_text = "Stock";
    c.run_labels = {"base", "fast", "slow"};
    c.row_names = {"Stock"};
    c.bars = {{{{0, 3333}}, {{3333, 6666}}, {{6666, 10000}}}};
    c.start = 0;
    c.end = 30;
    c.x_divisions = 3;
    c.x_title = "Time";
    c.x_var_name = "Time";
    handle rec = show_gantt_chart(c);
    ASSERT_NE(rec, 0u);
    td::run_until_idle();
    auto* o = static_cast<output_record*>(lock_handle(rec));
    ASSERT_NE(o, nullptr);
    HWND w = o->window;
    unlock_handle(rec);
    ASSERT_NE(w, nullptr);
    const QImage img = td::image(w);
    ASSERT_FALSE(img.isNull());
    int top[3] = {-1, -1, -1}, left_in_lowest_row[3] = {-1, -1, -1};
    int lowest = -1;
    for (int r = 0; r < 3; ++r) {
        const QRgb want = qRgb(GetRValue(colour_table[r]), GetGValue(colour_table[r]),
                               GetBValue(colour_table[r])) &
                          0xFFFFFF;
        for (int y = 0; y < img.height() && top[r] < 0; ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == want) {
                    top[r] = y;
                    break;
                }
        for (int y = img.height() - 1; y >= 0 && left_in_lowest_row[r] < 0; --y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == want) {
                    left_in_lowest_row[r] = x;
                    if (r == 0) lowest = y;
                    break;
                }
    }
    for (int r = 0; r < 3; ++r) ASSERT_GE(top[r], 0) << "run " << r << " shows nowhere";
    EXPECT_LT(top[0], top[1]);
    EXPECT_LT(top[1], top[2]);
    // The legend stands above the bars: every colour's first line is far above
    // the bar of the first run.
    EXPECT_LT(top[2], lowest);
    EXPECT_LT(left_in_lowest_row[0], left_in_lowest_row[1]);
    EXPECT_LT(left_in_lowest_row[1], left_in_lowest_row[2]);
}

} // namespace
