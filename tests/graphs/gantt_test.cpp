// The Gantt chart's bars: intervals above the threshold over the time axis,
// one bar per row and run unless every bar is asked for, more bars than a
// byte counts, row orders, a time axis of no span, the option line.
#include "foundation/textsrc.h"
#include "foundation/types.h"
#include "graphs/gantt.h"
#include "shell/toolset.h"
#include "tests/common/message_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<float> range(int n, float step = 1) {
    std::vector<float> t;
    for (int i = 0; i < n; ++i) t.push_back(i * step);
    return t;
}

} // namespace

TEST(GanttBars, IntervalsAboveTheThresholdAndTheirPositions) {
    const std::vector<float> t = range(11); // 0..10
    const std::vector<float> v = {0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 1};
    const auto all = find_gantt_bars(t, v, 0, 10, 0.5f, true);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], gantt_bar(2000, 4000));
    // Above until the final time: the bar ends at the last saved time.
    EXPECT_EQ(all[1], gantt_bar(7000, 10000));
    // On, off and on again: one bar from the first start to the last end.
    const auto one = find_gantt_bars(t, v, 0, 10, 0.5f, false);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], gantt_bar(2000, 10000));
    // Never above: no bar; an axis part way: positions on that axis.
    EXPECT_TRUE(find_gantt_bars(t, v, 0, 10, 5.0f, true).empty());
    const auto part = find_gantt_bars(t, v, 3, 8, 0.5f, true);
    ASSERT_EQ(part.size(), 2u);
    EXPECT_EQ(part[0], gantt_bar(0, 2000)); // started before the axis: 0
    EXPECT_EQ(part[1], gantt_bar(8000, 10000));
    // An axis starting between two saved times, the value above since the
    // earlier one: the bar begins at the axis, ends at 4 ((4 - 2.5) / 7.5).
    const auto between = find_gantt_bars(t, v, 2.5, 10, 0.5f, true);
    ASSERT_EQ(between.size(), 2u);
    EXPECT_EQ(between[0], gantt_bar(0, 2000));
}

// A value that rises above the threshold only at the axis's last time still
// gives a bar there (it has no end, so it ends at the last saved time).
TEST(GanttBars, ABarThatStartsAtTheAxisEndIsKept) {
    const std::vector<float> t = range(5); // 0..4
    const auto bars = find_gantt_bars(t, {0, 0, 0, 0, 2}, 0, 4, 1.0f, true);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0], gantt_bar(10000, 10000));
    // On until the end, off at it: the bar ends at the end.
    const auto ends = find_gantt_bars(t, {0, 0, 2, 2, 0}, 0, 4, 1.0f, true);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0], gantt_bar(5000, 10000));
}

TEST(GanttBars, MoreThan255BarsStayInStepAndNoSpanGivesNone) {
    // An oscillation with 300 on-intervals: every bar kept with its own ends.
    std::vector<float> t = range(1200), v;
    for (int i = 0; i < 1200; ++i) v.push_back(i % 4 == 1 ? 1.0f : 0.0f);
    const auto bars = find_gantt_bars(t, v, 0, 1199, 0.5f, true);
    ASSERT_EQ(bars.size(), 300u);
    for (std::size_t k = 0; k < bars.size(); ++k) {
        EXPECT_EQ(bars[k].first, static_cast<std::uint16_t>((4.0 * k + 1) * 10000 / 1199));
        EXPECT_LT(bars[k].first, bars[k].second);
    }
    // Start equal to end: nothing is divided by the empty span.
    EXPECT_TRUE(find_gantt_bars(t, v, 5, 5, 0.5f, true).empty());
    message_log::messages.clear();
    set_message_hook(message_log::test_hook);
    gantt_chart c;
    c.start = c.end = 5;
    c.row_names = {"x"};
    c.bars = {{bars}};
    EXPECT_EQ(show_gantt_chart(c), 0u);
    EXPECT_TRUE(message_log::said("Unable to complete the gantt chart", 8));
    set_message_hook(nullptr);
}

TEST(GanttRows, SortedByEarliestStartOrLatestEnd) {
    gantt_chart c;
    c.row_names = {"a", "b", "c"};
    c.bars = {{{{5000, 6000}}, {}}, {{}, {}}, {{{1000, 2000}}, {{3000, 9000}}}};
    sort_gantt_rows(c, gantt_in_order);
    EXPECT_EQ(c.row_names, (std::vector<std::string>{"a", "b", "c"}));
    sort_gantt_rows(c, gantt_by_start); // rows without bars last
    ASSERT_EQ(c.row_names, (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(c.bars[0][1].front(), gantt_bar(3000, 9000)); // the bars moved with their row
    sort_gantt_rows(c, gantt_by_end); // without bars first (0), then 6000, 9000
    EXPECT_EQ(c.row_names, (std::vector<std::string>{"b", "a", "c"}));
}

TEST(GanttToolSetup, OptionLineReadAndWritten) {
    set_tool_setup(find_tool_row("Gantt"), gantt_tool_setup);
    ASSERT_EQ(gantt_tool_setup(0, 0, nullptr, nullptr), 52);
    handle tool = new_tool(find_tool_row("Gantt"), "Gantt", 52);
    const char* const lines[] = {"2.5,659,1,Arial|9||0-0-0,"};
    ASSERT_EQ(push_text_source(lines, 1, 0), 1);
    gantt_tool_setup(0, tool, nullptr, "x");
    close_text_source();
    tool_record* r = lock_tool(tool);
    const auto* o = static_cast<gantt_options*>(tool_options(r));
    EXPECT_FLOAT_EQ(o->threshold, 2.5f);
    EXPECT_EQ(o->sort_order, gantt_by_start);
    EXPECT_EQ(o->all_bars, 1);
    EXPECT_EQ(o->font.size, 9);
    EXPECT_EQ(r->icon, 0xf0010u);
    unlock_tool(tool);
    std::string out;
    gantt_tool_setup(1, tool, &out, nullptr);
    EXPECT_EQ(out.rfind("2.5,659,1,Arial|9|", 0), 0u) << out;
    free_tool(tool);
    set_tool_setup(find_tool_row("Gantt"), nullptr);
}

// Without an option line the tool draws in a plain 12-point font, its rows
// in the elements' order.
TEST(GanttToolSetup, DefaultsWithoutAnOptionLine) {
    set_tool_setup(find_tool_row("Gantt"), gantt_tool_setup);
    handle tool = new_tool(find_tool_row("Gantt"), "Gantt", 52);
    gantt_tool_setup(0, tool, nullptr, nullptr);
    tool_record* r = lock_tool(tool);
    const auto* o = static_cast<gantt_options*>(tool_options(r));
    EXPECT_EQ(o->font.size, 12);
    EXPECT_EQ(o->font.style, 0);
    EXPECT_EQ(o->sort_order, gantt_in_order);
    EXPECT_EQ(o->all_bars, 0);
    EXPECT_EQ(r->icon, 0xf0010u);
    unlock_tool(tool);
    free_tool(tool);
    set_tool_setup(find_tool_row("Gantt"), nullptr);
}

// "Above" is strictly above: a value at the threshold draws no bar, and a
// missing value ends one. On 0..4: above only at time 2 gives the bar from 2
// to 3 (5000 to 7500 of the axis).
TEST(GanttBars, AValueAtTheThresholdIsNotAboveIt) {
    const std::vector<float> t = range(5);
    EXPECT_TRUE(find_gantt_bars(t, {0, 1, 1, 1, 0}, 0, 4, 1.0f, true).empty());
    const auto one = find_gantt_bars(t, {0, 1, 2, 1, 0}, 0, 4, 1.0f, true);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], gantt_bar(5000, 7500));
    const auto gap = find_gantt_bars(t, {2, NA, 2, 2, 0}, 0, 4, 1.0f, true);
    ASSERT_EQ(gap.size(), 2u);
    EXPECT_EQ(gap[0], gantt_bar(0, 2500));
    EXPECT_EQ(gap[1], gantt_bar(5000, 10000));
}
