// The grid window as the user sees it: label pieces in the run colours their
// escapes name, and the default column pitch in characters of the font.
#include "draw/prims.h"
#include "foundation/docwriter.h"
#include "shell/toolset_hooks.h"
#include "shell/upcalls.h"
#include "tests/driver/driver.h"
#include "tests/shell/shell_fixture.h"
#include "tests/tools/grid_fixture.h"
#include "tools/grid_core.h"
#include "tools/gridtool.h"
#include "tools/gridwin.h"
#include "tools/output.h"
#include "tools/outwin_common.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <vector>

namespace td = test_driver;

namespace {

using test_driver::count_colour;

int dark_count(const QImage& img, int x0, int x1, int height) {
    int n = 0;
    for (int y = 0; y < std::min(height, img.height()); ++y)
        for (int x = std::max(0, x0); x < std::min(x1, img.width()); ++x)
            if (qGray(img.pixel(x, y)) < 96) ++n;
    return n;
}

class GridLook : public GridWindowTest {};

// "\c\" after a tab names run colour c ('0' the first run's): a heading
// "Runs: base slow" shows "slow" in the third run's colour when its escape
// is \2\, and none of its letters in the second run's.
TEST_F(GridLook, LabelEscapesPickTheRunColourTheyName) {
    handle rec = open_spread_window("Runs", 10, 10, 600, 200, nullptr, 10, 10, 0);
    ASSERT_NE(rec, 0u);
    spread_add_row(rec, "Runs:\t\\2\\WWWW slow\t\\0\\MMMM base", nullptr, nullptr, nullptr, 0,
                   false, nullptr, 0, 0);
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(count_colour(img, colour_table[2]), 20) << "the third run's colour";
    EXPECT_GT(count_colour(img, colour_table[0]), 20) << "the first run's colour";
    EXPECT_EQ(count_colour(img, colour_table[1]), 0) << "no piece names the second run";
    EXPECT_EQ(count_colour(img, colour_table[3]), 0);
}

// Without a pitch given, the label column is 30 characters wide and each
// value column 10: the same as asked for outright, twice a label column of
// 15 and columns of 5.
TEST_F(GridLook, TheDefaultPitchIsThirtyAndTenCharacters) {
    handle dflt = open_spread_window("Default", 10, 10, 400, 200, nullptr, 0, 0, 0);
    handle given = open_spread_window("Given", 20, 20, 400, 200, nullptr, 30, 10, 0);
    handle half = open_spread_window("Half", 30, 30, 400, 200, nullptr, 15, 5, 0);
    ASSERT_NE(dflt, 0u);
    ASSERT_NE(given, 0u);
    ASSERT_NE(half, 0u);
    ASSERT_GT(spread_first_tab(half), 0);
    EXPECT_EQ(spread_first_tab(dflt), spread_first_tab(given));
    EXPECT_EQ(spread_tab_width(dflt), spread_tab_width(given));
    EXPECT_EQ(spread_first_tab(dflt), 2 * spread_first_tab(half));
    EXPECT_EQ(spread_tab_width(dflt), 2 * spread_tab_width(half));
    // A negative pitch is no pitch either.
    handle negative = open_spread_window("Negative", 40, 40, 400, 200, nullptr, -3, -1, 0);
    ASSERT_NE(negative, 0u);
    EXPECT_EQ(spread_first_tab(negative), spread_first_tab(given));
    EXPECT_EQ(spread_tab_width(negative), spread_tab_width(given));
}

// The heading of a table or statistics says what the rows are: the
// variable with its causes, with its uses, or alone.
TEST_F(GridLook, HeadingsSayWhetherCausesOrUsesFollow) {
    handle rec = open_spread_window("Table", 10, 10, 600, 200, nullptr, 10, 10, 0);
    ASSERT_NE(rec, 0u);
    {
        grid_tool_report to(rec);
        for (int related = 0; related < 3; ++related) {
            grid_tool_print_variable(related, "alone ");
            docprintf("\n");
        }
    }
    const grid_rows* g = spread_rows(rec);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->rows.size(), 3u);
    EXPECT_EQ(g->rows[0].label, "\"\" and its causes ");
    EXPECT_EQ(g->rows[1].label, "\"\" and its uses ");
    EXPECT_EQ(g->rows[2].label, "\"\" alone ");
}

// The twelfth run's rows are drawn in the twelfth run colour, as the first
// run's are in the first.
TEST_F(GridLook, EveryRunColourIncludingTheTwelfth) {
    handle rec = open_spread_window("Runs", 10, 10, 600, 200, nullptr, 10, 10, 0);
    ASSERT_NE(rec, 0u);
    const float v[2] = {888, 888};
    spread_add_row(rec, "WWWW first", nullptr, v, nullptr, 2, false, nullptr, 0,
                   run_colour_mark(0));
    spread_add_row(rec, "WWWW twelfth", nullptr, v, nullptr, 2, false, nullptr, 0,
                   run_colour_mark(11));
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    const int lh = spread_line_height(rec);
    EXPECT_GT(count_colour(img.copy(0, 0, img.width(), lh), colour_table[0]), 20);
    EXPECT_GT(count_colour(img.copy(0, lh, img.width(), lh), colour_table[11]), 20)
        << "the twelfth run's colour";
}

// A row label longer than its column is cut before the first value column:
// nothing of it shows among the values.
TEST_F(GridLook, ALongLabelStopsBeforeTheValues) {
    handle rec = open_spread_window("Cut", 10, 10, 600, 200, nullptr, 10, 10, 0);
    ASSERT_NE(rec, 0u);
    const float v[1] = {1};
    spread_add_row(rec, "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", nullptr, v, nullptr, 1,
                   false, nullptr, 0, 0);
    td::run_until_idle();
    const QImage img = td::image(outwin_window(rec));
    ASSERT_FALSE(img.isNull());
    const int lh = spread_line_height(rec), first = spread_first_tab(rec),
              pitch = spread_tab_width(rec);
    ASSERT_GT(pitch, 24);
    // The label's ink fills its column up to the tab; the value "1" takes
    // only the start of its own column.
    EXPECT_GT(dark_count(img, 0, first - 2, lh), 20);
    EXPECT_EQ(dark_count(img, first + pitch / 2, first + pitch, lh), 0)
        << "label ink among the values";
    EXPECT_EQ(dark_count(img, first - 1, first, lh), 0) << "the label ends short of the tab";
}

// The horizontal bar pages by the value columns that fit beside the label
// column: a window 30 + 10 * k characters wide shows k of them.
TEST_F(GridLook, TheHorizontalBarCountsTheColumnsBesideTheLabels) {
    handle rec = open_spread_window("Wide", 10, 10, 600, 200, nullptr, 10, 8, 0);
    ASSERT_NE(rec, 0u);
    std::vector<float> v(60, 1.0f);
    spread_add_row(rec, "row", nullptr, v.data(), nullptr, 60, false, nullptr, 0, 0);
    HWND w = outwin_window(rec);
    td::run_until_idle();
    RECT rc{};
    GetClientRect(w, &rc);
    const int beside = (rc.right - spread_first_tab(rec)) / spread_tab_width(rec);
    ASSERT_GT(beside, 1);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_PAGE | SIF_RANGE;
    ASSERT_TRUE(GetScrollInfo(w, SB_HORZ, &si));
    EXPECT_EQ(static_cast<int>(si.nPage), beside);
    SendMessage(w, WM_HSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(GetScrollPos(w, SB_HORZ), 60 - beside) << "the last column shows, the view full";
}

// Following the end, each new row shows as it comes: the row that first
// goes past the window's last line scrolls the view by one.
TEST_F(GridLook, FollowingTheEndShowsEveryNewRow) {
    handle rec = open_spread_window("Follow", 10, 10, 500, 160, nullptr, 10, 8, 0);
    ASSERT_NE(rec, 0u);
    set_spread_scroll_limit(rec);
    HWND w = outwin_window(rec);
    const int lh = spread_line_height(rec);
    RECT rc{};
    GetClientRect(w, &rc);
    const int visible = rc.bottom / lh;
    ASSERT_GT(visible, 1);
    const float v[2] = {1, 2};
    for (int n = 1; n <= visible + 3; ++n) {
        spread_add_row(rec, "row", nullptr, v, nullptr, 2, false, nullptr, 0, 0);
        const int top = spread_top(rec);
        EXPECT_LE(top, n - 1) << n << " rows";
        EXPECT_LT(n - 1, top + visible) << "the last of " << n << " rows is out of view";
        EXPECT_EQ(top, std::max(0, n - visible)) << n << " rows";
    }
}

} // namespace
