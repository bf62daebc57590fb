// The Gantt tool: for every element of the workbench variable (a row each)
// and every selected run (a colour each), bars over the time axis wherever
// the value is above a threshold, in a graphics window.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct output_record;

struct gantt_options {
    font_spec font;
    float threshold;
    std::int32_t sort_order; // 657 latest end, 658 element order, 659 earliest start
    std::uint8_t all_bars;
    std::uint8_t spare[3];
};
static_assert(sizeof(gantt_options) == 52);

inline constexpr int gantt_by_end = 657, gantt_in_order = 658, gantt_by_start = 659;

// One bar: start and end positions 0..10000 along the time axis.
using gantt_bar = std::pair<std::uint16_t, std::uint16_t>;

struct gantt_chart {
    std::string window_title, var_text, x_title, x_var_name = "Time";
    font_spec font{};
    std::vector<std::string> run_labels, row_names;
    double start = 0, end = 0; // the time axis
    int x_divisions = 10;
    // bars[row][run]; as many per row and run as the series gives.
    std::vector<std::vector<std::vector<gantt_bar>>> bars;
};

// The bars of one series over the axis [start, end] (end above start): every
// interval above the threshold, or with all_bars 0 one bar from the first
// start to the last end.
std::vector<gantt_bar> find_gantt_bars(const std::vector<float>& times,
                                       const std::vector<float>& values, double start, double end,
                                       float threshold, bool all_bars);
// Orders the rows (names and bars together) by sort order.
void sort_gantt_rows(gantt_chart& c, int sort_order);

int gantt_tool_setup(int mode, handle tool, std::string* out, const char* text);
void gantt_tool_run(handle tool);
// The chart of a Gantt record (null none) and the record the tool's last run
// made (0 none).
gantt_chart* gantt_chart_of(handle record);
handle last_gantt_record();
// Makes the record of a chart and opens its window; 0 after "Unable to
// complete the gantt chart".
handle show_gantt_chart(gantt_chart c);
