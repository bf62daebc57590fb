// The user tools a graph set runs through other tools: custom bar graphs
// (BAR-GRAPH definitions, drawn by the Bar Graph tool's builder) and user
// tables (TABLE definitions, laid out by tools/usertable.h).
#pragma once

#include "foundation/types.h"
#include "graphs/sets/graphdef.h"
#include "tools/usertable.h"

#include <string>
#include <vector>

// A bar graph's inputs as the definition gives them. Bars are laid out by
// position: group g's name at position p sits at position p of every run
// entry of group g; shorter groups are padded with empty names.
struct custom_bar_plan {
    std::vector<std::vector<std::string>> names;  // [group][position] ("" padding)
    std::vector<std::vector<std::string>> labels; // [group][position]
    std::vector<std::vector<float>> times;        // [group][position] (NA: the graph's time)
    std::vector<std::string> group_texts;         // AS-RUN text of each group
    int largest = 0;                              // positions per group
};

// The main list of a definition (VAR items): a single item is expanded into
// its elements (false after the message when it does not resolve); several
// are taken as they stand, a new group at each change of AS-RUN group.
// Labels are the item labels (value references expanded) or the names.
bool plan_custom_bars(const graph_def& def, custom_bar_plan& plan);
// The side list (OVAR items) alike, for the second set of a two-sided
// graph; false when there are none or a single one does not resolve.
bool plan_side_bars(const graph_def& def, custom_bar_plan& plan);
// Pads the groups of both lists to the same positions (the larger of their
// largest groups).
void align_bar_plans(custom_bar_plan& main, custom_bar_plan& side);

// One run entry of the graph: the loaded-run index (-1: a run file that
// could not be opened, its bars missing) and its legend label.
struct custom_bar_run {
    int run = -1;
    std::string label;
};
// The run entries of a definition: its DATASET items (run files opened
// through kdf_open, selected runs by number; numbers past the selected runs
// skipped), else every selected run.
std::vector<custom_bar_run> custom_bar_runs(const graph_def& def, int groups);

// Builds and shows the bar graph of a BAR-GRAPH definition; the output
// record, or 0 (said why). Run files it opened are unloaded again. While a
// simulation runs only WIP definitions are drawn: their bars of the running
// simulation take its current values and the graph joins the
// work-in-progress list.
handle build_custom_bar_graph(const graph_def& def);
// Whether a record is such a live bar graph, and its update at each save
// (false when its window is gone).
bool is_live_bar_graph(handle record);
bool update_live_bars(handle record);

// The table of a TABLE definition in the plain form the table builder takes.
user_table_spec user_table_spec_of(const graph_def& def);
// Runs a TABLE definition: its grid window's record, or 0.
handle run_user_table(const graph_def& def);
