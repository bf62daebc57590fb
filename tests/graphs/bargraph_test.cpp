// The bar graph and histogram: binning and ranges, outlier bars, fraction
// and cumulative modes (also with no values at all), bar heights and the
// sorting of groups, the stored sort byte, the tool's option line.
#include "foundation/textsrc.h"
#include "graphs/bargraph.h"
#include "shell/toolset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

bar_graph histogram(int runs, int bins = 10) {
    bar_graph g;
    g.run_count = runs;
    g.bins = bins;
    return g;
}

} // namespace

TEST(Histogram, EqualValuesWidenTheRangeBeforeTheBinsAreRounded) {
    bar_graph g = histogram(1);
    build_histogram(g, {{50, 50, 50}});
    // 49.25 to 51.2513 over 10 bins: w 0.2001 -> 0.25; the midpoint 50.25 / 0.25
    // + 0.5 gives 201, so 50.25 - 5 x 0.25 .. 50.25 + 5 x 0.25.
    ASSERT_EQ(g.group_count, 10);
    EXPECT_EQ(g.labels.front(), "49-49.25");
    EXPECT_EQ(g.labels.back(), "51.25-51.5");
    // Every value in one bar, the only bar with a height.
    int with_height = 0;
    for (int j = 0; j < g.group_count; ++j) with_height += g.height(j, 0) > 0;
    EXPECT_EQ(with_height, 1);
}

TEST(Histogram, GivenRangeHighValueFallsInTheLastBinAndOutliersGetTheirBars) {
    bar_graph g = histogram(1, 4);
    g.low = 0;
    g.high = 8;
    build_histogram(g, {{8, 0, 1, -3, 9, 9, NAN}});
    ASSERT_EQ(g.group_count, 6); // "<", four bins, ">"
    EXPECT_EQ(g.labels.front(), "<0");
    EXPECT_EQ(g.labels[1], "0-2");
    EXPECT_EQ(g.labels.back(), ">8");
    const std::vector<double> want = {1, 2, 0, 0, 1, 2};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(g.counts[static_cast<std::size_t>(j)], want[j]) << j;

    // Hidden outliers: only the bins, and nothing of theirs is counted.
    bar_graph h = histogram(1, 4);
    h.low = 0;
    h.high = 8;
    h.hide_outliers = 1;
    build_histogram(h, {{8, 0, 1, -3, 9, 9}});
    ASSERT_EQ(h.group_count, 4);
    EXPECT_EQ(h.labels.front(), "0-2");
    // Fewer than two bins are taken as two.
    bar_graph two = histogram(1, 0);
    two.low = 0;
    two.high = 1;
    build_histogram(two, {{0.2f, 0.7f}});
    EXPECT_EQ(two.group_count, 2);
    // A bin count from a tool set is not trusted to size the counters.
    bar_graph many = histogram(1, 2000000000);
    many.low = 0;
    many.high = 1;
    build_histogram(many, {{0.5f}});
    EXPECT_EQ(many.group_count, max_histogram_bins);
}

TEST(Histogram, CountsCumulateAndFractionsShareOneAxis) {
    bar_graph g = histogram(2, 2);
    g.low = 0;
    g.high = 2;
    g.cumulative = 1;
    build_histogram(g, {{0.5f, 1.5f, 1.5f}, {0.5f}});
    ASSERT_EQ(g.group_count, 2);
    EXPECT_EQ(g.counts[2], 3); // run 0's second bar: 1 + 2
    EXPECT_EQ(g.counts[3], 1);
    EXPECT_DOUBLE_EQ(g.low, 0);
    EXPECT_GE(g.high, 3);

    bar_graph f = histogram(2, 2);
    f.low = 0;
    f.high = 2;
    f.fraction = 1;
    build_histogram(f, {{0.5f, 1.5f, 1.5f, 1.5f}, {0.5f, 1.5f}});
    // Shares: run 0 a quarter and three quarters, run 1 half and half; run 1
    // is scaled to run 0's total of 4.
    EXPECT_EQ(f.counts[1], 2);
    EXPECT_EQ(f.counts[3], 2);
    EXPECT_DOUBLE_EQ(f.low, 0);
    ASSERT_GT(f.high, 0.75);
    EXPECT_GT(f.height(1, 0), f.height(0, 1));
    // On a given frequency axis of 0 to 1 the heights are the shares in
    // ten-thousandths: three quarters 7500, a half 5000, a quarter 2500.
    bar_graph given = histogram(2, 2);
    given.low = 0;
    given.high = 2;
    given.fraction = 1;
    given.freq_min = 0;
    given.freq_max = 1;
    build_histogram(given, {{0.5f, 1.5f, 1.5f, 1.5f}, {0.5f, 1.5f}});
    EXPECT_DOUBLE_EQ(given.high, 1);
    EXPECT_EQ(given.height(0, 0), 2500);
    EXPECT_EQ(given.height(1, 0), 7500);
    EXPECT_EQ(given.height(0, 1), 5000);
    EXPECT_EQ(given.height(1, 1), 5000);
}

TEST(Histogram, FractionsOfRunsWithoutValuesAreEmptyNotNaN) {
    // Every total 0 divided 0 by 0: no data is heights 0 on a 0 to 1 axis.
    bar_graph f = histogram(2, 3);
    f.fraction = 1;
    build_histogram(f, {{}, {NAN}});
    EXPECT_DOUBLE_EQ(f.low, 0);
    EXPECT_DOUBLE_EQ(f.high, 1);
    ASSERT_EQ(f.heights.size(), static_cast<std::size_t>(f.group_count * 2));
    for (std::uint16_t h : f.heights) EXPECT_EQ(h, 0);
    bar_graph c = histogram(1, 3);
    c.fraction = 1;
    c.cumulative = 1;
    build_histogram(c, {{}});
    EXPECT_DOUBLE_EQ(c.high, 1);
}

TEST(BarHeights, GivenAndSoftRangesAndMissingValues) {
    bar_graph g;
    g.run_count = 2;
    g.low = 0;
    g.high = 10;
    build_bar_heights(g, {{5, NA}, {20, -1}});
    EXPECT_EQ(g.height(0, 0), 5000);
    EXPECT_EQ(g.height(0, 1), 0); // NA: no bar
    EXPECT_EQ(g.height(1, 0), 10000);
    EXPECT_EQ(g.height(1, 1), 0);
    EXPECT_EQ(g.soft_bounds, 0);

    bar_graph s;
    s.run_count = 1;
    build_bar_heights(s, {{3}, {7}});
    EXPECT_EQ(s.soft_bounds, 1);
    EXPECT_LE(s.low, 3);
    EXPECT_GE(s.high, 7);
    EXPECT_LT(s.height(0, 0), s.height(1, 0));
}

// A value axis the graph chooses steps by round numbers: values from 9.2 to
// 17.5 make an axis of 8 to 20 in six steps of 2 (not five of 2.4); a count
// the definition gives stays, the range widening instead (7.5 to 20 in five
// of 2.5); a given range is left as it is.
TEST(BarHeights, AChosenValueAxisStepsByRoundNumbers) {
    bar_graph g;
    g.run_count = 1;
    build_bar_heights(g, {{9.2f}, {17.5f}});
    EXPECT_DOUBLE_EQ(g.low, 8);
    EXPECT_DOUBLE_EQ(g.high, 20);
    EXPECT_EQ(g.divisions, 6);
    bar_graph d;
    d.run_count = 1;
    d.divisions_given = true;
    build_bar_heights(d, {{9.2f}, {17.5f}});
    EXPECT_EQ(d.divisions, 5);
    EXPECT_DOUBLE_EQ(d.low, 7.5);
    EXPECT_DOUBLE_EQ(d.high, 20);
    bar_graph set;
    set.run_count = 1;
    set.low = 8;
    set.high = 20;
    build_bar_heights(set, {{9.2f}, {17.5f}});
    EXPECT_EQ(set.divisions, 5);
    EXPECT_DOUBLE_EQ(set.high, 20);
}

// Two sets share one range; a time graph without any value gets 0 to 100.
TEST(BarHeights, TheSecondSetSharesTheRangeAndATimeGraphWithoutDataSpansAHundred) {
    bar_graph g;
    g.run_count = 1;
    build_bar_heights(g, {{10}, {20}}, {{40}, {NA}});
    EXPECT_EQ(g.horizontal, 1);
    ASSERT_EQ(g.side_group_count, 2);
    EXPECT_GE(g.high, 40);
    EXPECT_GT(g.side_heights[0], g.height(1, 0));
    EXPECT_EQ(g.side_heights[1], 0);
    // On a given range of 0 to 50 the heights are the values' shares in
    // ten-thousandths: 40 is 8000, 20 is 4000, 10 is 2000; NA stands at 0.
    bar_graph h;
    h.run_count = 1;
    h.low = 0;
    h.high = 50;
    build_bar_heights(h, {{10}, {20}}, {{40}, {NA}});
    EXPECT_DOUBLE_EQ(h.low, 0);
    EXPECT_DOUBLE_EQ(h.high, 50);
    EXPECT_EQ(h.height(0, 0), 2000);
    EXPECT_EQ(h.height(1, 0), 4000);
    EXPECT_EQ(h.side_heights[0], 8000);
    EXPECT_EQ(h.side_heights[1], 0);
    // A value above the given top is drawn at the top, not wrapped around.
    bar_graph over;
    over.run_count = 1;
    over.low = 0;
    over.high = 50;
    build_bar_heights(over, {{75}});
    EXPECT_EQ(over.height(0, 0), 10000);

    bar_graph t;
    t.run_count = 2;
    build_time_bar_heights(t, {{NA, NA}});
    EXPECT_EQ(t.low, 0);
    EXPECT_EQ(t.high, 100);
    bar_graph u;
    u.run_count = 1;
    build_time_bar_heights(u, {{5}, {15}});
    EXPECT_LE(u.high, 20);
}

TEST(OrderBars, SortRunsAscendingDescendingAndBeyondTheCount) {
    std::vector<std::vector<float>> v = {{3, 10}, {1, 30}, {2, 20}};
    std::vector<std::string> l = {"a", "b", "c", "Y values"};
    order_bars(v, l, -1); // the first run's values, largest first
    EXPECT_EQ(l, (std::vector<std::string>{"a", "c", "b", "Y values"}));
    order_bars(v, l, 2);
    EXPECT_EQ(l, (std::vector<std::string>{"a", "c", "b", "Y values"}));
    EXPECT_EQ(v[0][1], 10);
    order_bars(v, l, -9); // beyond the count: the last run
    EXPECT_EQ(l[0], "b");
    EXPECT_EQ(v[0], (std::vector<float>{1, 30}));
    order_bars(v, l, 0);
    EXPECT_EQ(l[0], "b");
}

TEST(OrderBars, TheStoredSortByteIsDecodedNotPassedOn) {
    // ":SORT 1" is stored as 2 and means the first run, 1 is "no sort".
    EXPECT_EQ(decode_sort_byte(2), 1);
    EXPECT_EQ(decode_sort_byte(1), 0);
    EXPECT_EQ(decode_sort_byte(0), 0);
    EXPECT_EQ(decode_sort_byte(-1), 0);
    EXPECT_EQ(decode_sort_byte(-2), -1);
    EXPECT_EQ(decode_sort_byte(17), 16);
}

TEST(BarToolSetup, DefaultsOptionLineAndHistogramKindWrittenBackAsRead) {
    set_tool_setup(find_tool_row("Bar Graph"), bar_tool_setup);
    ASSERT_EQ(bar_tool_setup(0, 0, nullptr, nullptr), 112);
    handle tool = new_tool(find_tool_row("Bar Graph"), "Bars", 112);
    ASSERT_NE(tool, 0u);
    bar_tool_setup(0, tool, nullptr, nullptr);
    tool_record* r = lock_tool(tool);
    auto* o = static_cast<bar_options*>(tool_options(r));
    EXPECT_EQ(o->bin_count, 10);
    EXPECT_EQ(o->time_choice, 2);
    EXPECT_TRUE(is_na(o->bin_min));
    EXPECT_EQ(o->font.size, 12);
    EXPECT_EQ(o->small_font.size, 10);
    EXPECT_EQ(r->icon, 16u);
    unlock_tool(tool);

    const char* const lines[] = {"5,3,1,7,1,20,0,100,Arial|12||0-0-0,Arial|9||0-0-0,1,NA,NA,1,-2,"};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    bar_tool_setup(0, tool, nullptr, "x");
    close_text_source();
    r = lock_tool(tool);
    o = static_cast<bar_options*>(tool_options(r));
    EXPECT_FLOAT_EQ(o->at_time, 5);
    EXPECT_EQ(o->horizontal, 1);
    EXPECT_EQ(o->hist_kind, 0); // 7 is no kind: bars
    EXPECT_EQ(o->bin_count, 20);
    EXPECT_FLOAT_EQ(o->bin_max, 100);
    EXPECT_EQ(o->small_font.size, 9);
    EXPECT_EQ(o->sort_run, -2);
    EXPECT_EQ(r->icon, 0u); // horizontal
    unlock_tool(tool);
    std::string out;
    bar_tool_setup(1, tool, &out, nullptr);
    EXPECT_EQ(out.substr(0, 14), "5,3,1,0,1,20,0");
    EXPECT_NE(out.find(",1,NA,NA,1,-2,\n"), std::string::npos);
    free_tool(tool);
    set_tool_setup(find_tool_row("Bar Graph"), nullptr);
}

// The data chose the range: the bin width is the raw width brought up to the
// next of 0.15, 0.2, 0.25, 0.4, 0.5, 0.75, 1 (times a power of ten), and the
// bins are centred on the data. One case per step, each bin count 10:
//   2..10:   0.8  -> 1,    centre 6 / 1 + 0.5 -> 6,     1 .. 11
//   0..7:    0.7  -> 0.75, centre 3.5 / 0.75 + 0.5 -> 5, 0 .. 7.5
//   0..4.5:  0.45 -> 0.5,  centre 2.25 / 0.5 + 0.5 -> 5, 0 .. 5
//   1..4.3:  0.33 -> 0.4,  centre 2.65 / 0.4 + 0.5 -> 7, 0.8 .. 4.8
//   1..3.2:  0.22 -> 0.25, centre 2.1 / 0.25 + 0.5 -> 8, 0.75 .. 3.25
//   20..38:  1.8  -> 2,    centre 29 / 2 + 0.5 -> 15,   20 .. 40
//   0..1.6:  0.16 -> 0.2,  centre 0.8 / 0.2 + 0.5 -> 4,  -0.2 .. 1.8 (an edge at 0)
//   10..11.2 0.12 -> 0.15, centre 10.6 / 0.15 + 0.5 -> 71, 9.9 .. 11.4
TEST(Histogram, OpenRangesTakeTheNextRoundBinWidthAndKeepEveryValueInABin) {
    const struct {
        float lo, hi;
        const char *first, *last;
    } rows[] = {
        {2, 10, "1-2", "10-11"},        {0, 7, "0-0.75", "6.75-7.5"},
        {0, 4.5f, "0-0.5", "4.5-5"},    {1, 4.3f, "0.8-1.2", "4.4-4.8"},
        {1, 3.2f, "0.75-1", "3-3.25"},  {20, 38, "20-22", "38-40"},
        {0, 1.6f, "-0.2-0", "1.6-1.8"}, {10, 11.2f, "9.9-10.05", "11.25-11.4"},
    };
    for (const auto& r : rows) {
        bar_graph g = histogram(1, 10);
        build_histogram(g, {{r.lo, (r.lo + r.hi) / 2, r.hi}});
        ASSERT_EQ(g.group_count, 10) << r.lo << ".." << r.hi; // no outlier bars
        EXPECT_EQ(g.labels.front(), r.first) << r.lo << ".." << r.hi;
        EXPECT_EQ(g.labels.back(), r.last) << r.lo << ".." << r.hi;
        double counted = 0;
        for (double c : g.counts) counted += c;
        EXPECT_EQ(counted, 3) << r.lo << ".." << r.hi;
    }
}

// An odd count of bins takes one more bin above the midpoint's bin edge
// than below it: 0, 5 and 10 in 5 bins of 2 centred on the edge at 6 span
// 2 to 12, and the 0 shows in the bar below the range.
TEST(Histogram, AnOddBinCountTakesTheExtraBinAboveTheMidpoint) {
    bar_graph g = histogram(1, 5);
    build_histogram(g, {{0, 5, 10}});
    ASSERT_EQ(g.group_count, 6); // "<2" and the five bins
    EXPECT_EQ(g.labels.front(), "<2");
    EXPECT_EQ(g.labels[1], "2-4");
    EXPECT_EQ(g.labels.back(), "10-12");
    const std::vector<double> want = {1, 0, 1, 0, 1, 0};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(g.counts[static_cast<std::size_t>(j)], want[j]) << j;
}

// A cumulative histogram of shares ends at 1 unless its top was given: on a
// given top of 2 the whole share reaches half way and a quarter an eighth.
TEST(Histogram, ACumulativeShareAxisKeepsAGivenTop) {
    bar_graph open = histogram(1, 2);
    open.low = 0;
    open.high = 2;
    open.fraction = 1;
    open.cumulative = 1;
    build_histogram(open, {{0.5f, 1.5f, 1.5f, 1.5f}});
    EXPECT_DOUBLE_EQ(open.low, 0);
    EXPECT_DOUBLE_EQ(open.high, 1);
    EXPECT_EQ(open.height(0, 0), 2500);
    EXPECT_EQ(open.height(1, 0), 10000);
    bar_graph given = histogram(1, 2);
    given.low = 0;
    given.high = 2;
    given.fraction = 1;
    given.cumulative = 1;
    given.freq_max = 2;
    build_histogram(given, {{0.5f, 1.5f, 1.5f, 1.5f}});
    // The value axis is the shares' now.
    EXPECT_DOUBLE_EQ(given.low, 0);
    EXPECT_DOUBLE_EQ(given.high, 2);
    EXPECT_EQ(given.height(0, 0), 1250);
    EXPECT_EQ(given.height(1, 0), 5000);
}
