// The Gantt chart as a user sees it: each run's legend box and its bars in
// the same colour, run after run; the axis numbers and the bars' widths.
#include "draw/prims.h"
#include "draw/printing.h"
#include "graphs/gantt.h"
#include "graphs/graphtool.h"
#include "platform/print.h"
#include "shell/palette.h"
#include "shell/settings_rows.h"
#include "tests/common/pdf_printer.h"
#include "tests/driver/driver.h"
#include "tests/graphs/graph_windows_fixture.h"
#include "tests/shell/shell_fixture.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <string>

namespace {

namespace td = test_driver;

class GanttColours : public GraphWindowsTest {
protected:
    // Three runs, one row: run k's bar takes the k-th third of an axis from
    // 0 to 30 in three divisions. *w: the chart's window.
    void show_three_runs(HWND* w) {
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
        *w = outwin_window(rec);
        ASSERT_NE(*w, nullptr);
    }
};

// Three runs, one row: run k's bar takes the k-th third of the axis. Each
// run's colour shows first in its own legend line, the lines in run order,
// and then in its bar, the bars left to right in run order.
TEST_F(GanttColours, EachRunsLegendBoxHasItsBarsColour) {
    HWND w = nullptr;
    ASSERT_NO_FATAL_FAILURE(show_three_runs(&w));
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

// The axis numbers divide the chart's span evenly (0 to 30 in three: 0, 10,
// 20, 30), and each bar covers its share of the axis: the three runs' bars
// of a third each are as wide as one another.
TEST_F(GanttColours, AxisNumbersAndBarsSpanTheWholeAxis) {
    HWND w = nullptr;
    ASSERT_NO_FATAL_FAILURE(show_three_runs(&w));
    const QImage img = td::image(w);
    ASSERT_FALSE(img.isNull());
    // Each run's widest stretch of its colour on one line (its bar).
    int widest[3] = {0, 0, 0};
    for (int r = 0; r < 3; ++r) {
        const QRgb want = qRgb(GetRValue(colour_table[r]), GetGValue(colour_table[r]),
                               GetBValue(colour_table[r])) &
                          0xFFFFFF;
        const int bar_rows_from = img.height() / 3; // below the legend
        for (int y = bar_rows_from; y < img.height(); ++y) {
            int first = -1, last = -1;
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == want) {
                    if (first < 0) first = x;
                    last = x;
                }
            if (first >= 0) widest[r] = std::max(widest[r], last - first + 1);
        }
    }
    ASSERT_GT(widest[0], 20);
    EXPECT_NEAR(widest[1], widest[0], 3);
    EXPECT_NEAR(widest[2], widest[0], 3);

    const std::string text = printed_pdf_text(testing::TempDir() + "kavrel_gantt_axis.pdf", [&] {
        SendMessage(w, WM_COMMAND, cmd_print_output, 0);
    });
    // The numbers under the axis, on one line.
    ASSERT_NE(text.find("20"), std::string::npos) << text;
    EXPECT_NE(text.find("10"), std::string::npos) << text;
    EXPECT_NE(text.find("30"), std::string::npos) << text;
    EXPECT_EQ(text.find("7.5"), std::string::npos) << text;
    EXPECT_EQ(text.find("22.5"), std::string::npos) << text;
}

} // namespace
