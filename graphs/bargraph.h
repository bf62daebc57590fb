// The Bar Graph tool: bars of the workbench variable at one time (a group per
// element, a bar per selected run), a bar per saved time (time graph), and
// histograms of its values over the saved times of a run, over the
// simulations of a sensitivity run or over the elements of a subscripted
// variable. The gathering and binning are plain functions on vectors so that
// custom bar graphs and the tests use them without a window; the output
// record (type 9) is laid out and drawn in a graphics window.
#pragma once

#include "draw/axis.h"
#include "foundation/names.h"
#include "foundation/types.h"

#include <cstdint>
#include <string>
#include <vector>

struct output_record;

struct bar_options {
    font_spec font, small_font;
    float at_time, bin_min, bin_max, freq_min, freq_max;
    std::int32_t bin_count;
    std::uint8_t time_choice, horizontal, hist_kind, hide_outliers, fraction, cumulative;
    std::int8_t sort_run;
    std::uint8_t spare;
};
static_assert(sizeof(bar_options) == 112);

// The built graph: one height (0..10000 of the value axis) per group and run,
// group-major.
struct bar_graph {
    std::string window_title, title, axis_label;
    std::string side_label; // over the second set of a two-sided graph
    font_spec font{}, small_font{};
    std::uint8_t font_choice = 0;
    double low = axis_unset, high = -axis_unset; // value or frequency axis
    float freq_min = NA, freq_max = NA;
    std::vector<std::string> run_labels;
    std::vector<std::string> labels; // one per group
    std::string value_title;         // what the values are ("Y values", "Time", ...)
    std::vector<std::uint16_t> heights;
    // The second (left-hand) set of a two-sided custom graph, laid out as
    // the heights (side_group_count groups of run_count); empty when none.
    // Two-sided graphs are always horizontal.
    std::vector<std::uint16_t> side_heights;
    int side_group_count = 0;
    int run_count = 0, divisions = 5, bins = 10, group_count = 0;
    // The division count was given by the graph's definition: a value axis
    // the graph chooses keeps it (widening the range for round steps); else
    // the count may move to one whose steps are round.
    bool divisions_given = false;
    std::uint8_t horizontal = 0, hist_kind = 0, hide_outliers = 0, fraction = 0, cumulative = 0;
    std::uint8_t force_bars = 0, soft_bounds = 0, style = 0;
    // Set for a graph that follows the running simulation: it stays bars
    // even when they do not fit.
    std::uint8_t follows_run = 0;
    // The histogram's counts (after cumulation and scaling to the largest
    // total), group-major like the heights; empty for bars.
    std::vector<double> counts;
    // Livesweep: per group and run the value slot + 1 of the element in the
    // Livesweep run (0 none), group-major; empty outside Livesweep. The
    // time the bars are taken at.
    std::vector<std::uint32_t> live_slots;
    float live_time = NA;
    // The second set's live slots, laid out alike; per slot the time its bar
    // is taken at (empty or NA: live_time); the value cache's run slot all
    // live bars read (-1: the bar's own run position).
    std::vector<std::uint32_t> side_live_slots;
    std::vector<float> live_times, side_live_times;
    int live_run_slot = -1;
    // What the live slots are found from whenever the run Livesweep shows is
    // not the one they were found for (live_found_for, a loaded-run index;
    // -1 none), so that a graph made before Livesweep started follows it
    // too: per slot, laid out as live_slots, the element and the loaded run
    // of its bar ("" and -1: none).
    std::vector<std::string> live_names, side_live_names;
    std::vector<int> live_runs, side_live_runs;
    int live_found_for = -1;
    // Groups that are consecutive elements of one subscript range (positions
    // from element_first on, left to right): the range's name, which a
    // drag along the group axis of vertical bars selects a span of; empty
    // otherwise (sorted bars, a gap in the selection, bins or times).
    std::string element_range;
    int element_first = 0;
    std::uint16_t height(int group, int run) const {
        return heights[static_cast<std::size_t>(group) * static_cast<std::size_t>(run_count) +
                       static_cast<std::size_t>(run)];
    }
};

// The subscript range a list of element names runs along, when they are
// consecutive elements of one range of one variable (the other subscripts
// the same): its name and the first element's position (from 0). false
// otherwise. Needs the model locked.
bool element_span_of(const std::vector<std::string>& elements, std::string& range, int& first);

// Bars at a time: values[group][run] (NA: no bar). The range is the graph's
// low and high where set; unset or soft bounds take the data of both sets.
// With side values (non-empty) the graph gets a second set on the same range
// and becomes horizontal.
void build_bar_heights(bar_graph& g, const std::vector<std::vector<float>>& values,
                       const std::vector<std::vector<float>>& side = {});
// A time graph's bars: as build_bar_heights, but with no value at all the
// unset bounds are 0 and 100.
void build_time_bar_heights(bar_graph& g, const std::vector<std::vector<float>>& values);
// The most bins a histogram counts (a tool set may ask for any number).
inline constexpr int max_histogram_bins = 10000;
// A histogram of one value list per run (NA dropped) with the graph's
// bins (2 to max_histogram_bins), range (unset: from the data, with rounded bins), outlier bars,
// fraction and cumulative modes.
void build_histogram(bar_graph& g, const std::vector<std::vector<float>>& runs);

// Sorts the groups by the values of run sort_run (k > 0 ascending by run k,
// k < 0 descending by run -k, a run beyond the count the last; 0 nothing):
// values[group][run], labels and live slots (a row of runs per group) follow.
// A second set with as many groups follows the same order.
// The new order (old group indices) goes to *order when given.
void order_bars(std::vector<std::vector<float>>& values, std::vector<std::string>& labels,
                int sort_run, std::vector<std::uint32_t>* live_slots = nullptr,
                std::vector<std::vector<float>>* side = nullptr, std::vector<int>* order = nullptr);

// The sort run a graph definition stores in its SORT byte: n is stored as
// n + 1 (and -n as -n - 1) so that 1 can mean "bars, no sort". 0 none.
int decode_sort_byte(std::int8_t stored);

int bar_tool_setup(int mode, handle tool, std::string* out, const char* text);
void bar_tool_run(handle tool);

// The output record (type 9) of a built graph, cur_output, without a window;
// 0 when memory ran out.
handle new_bar_record(bar_graph g);
// Makes the output record of a built graph and opens its window; the record
// (0 when no window could be made). Bars that do not fit the screen even in
// the small font are shown as a line graph over the bar labels instead (its
// record is returned), unless the graph forces bars or follows the running
// simulation.
handle show_bar_graph(bar_graph g);
// The graph of a bar record (null none).
bar_graph* bar_graph_of(handle record);
// The record the tool's last run made (0 none), for tests.
handle last_bar_record();

// Draw callback: the whole graph into the active device.
void bar_draw(output_record* record);
// Live-update callback: while Livesweep is on, the heights of the bars with
// live slots from the run value cache at the graph's time; the window is
// invalidated.
void bar_live_update(handle record);
// Before a Livesweep re-run: the bars of a graph of the run it shows are
// found (also in a graph made before Livesweep started) and their series
// asked of the value cache, so the re-run fills them. Other records: nothing.
void bar_prepare_live(handle record);
// The value slot + 1 of an element for live updates; 0 after "-%s- wrong
// type for WIP graph" for a type that has no series.
std::uint32_t live_slot(const char* element);
