// What the tools that write rows into a grid window (Table, Stats) do alike:
// their option block read and saved, the grid kept from an earlier run or a
// new one opened, the report sent into it for the length of a run, the runs
// taken part and the heading lines naming the variable and the runs. Each
// tool passes what differs.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "model/constants.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct toptset_field;

// What a tool's setup needs to know of it.
struct grid_tool_kind {
    const void* defaults = nullptr; // the default option block
    std::size_t size = 0;           // its size in bytes
    const toptset_field* fields = nullptr;
    void (*run)(handle tool) = nullptr;
    // The palette picture of a tool with these options.
    std::uint32_t (*icon)(const void* options) = nullptr;
};
// A tool's setup: mode 0 gives it the defaults and reads its saved fields
// from the line text names, mode 1 writes them to out. The option size.
int grid_tool_setup(const grid_tool_kind& kind, int mode, handle tool, std::string* out,
                    const char* text);

// The grid record a tool's earlier run left, when it is still a grid.
handle grid_tool_reusable(handle tool);
// The tool's grid: the earlier run's, made current, else a new window in the
// font and column widths given; *opened says which. 0 when none could be
// opened.
handle grid_tool_window(handle tool, const font_spec* font, int first_tab, int tab_width,
                        int layout, bool* opened);

// The report into the grid for the length of a run; let go on every way out.
struct grid_tool_report {
    explicit grid_tool_report(handle record);
    ~grid_tool_report();
    grid_tool_report(const grid_tool_report&) = delete;
    grid_tool_report& operator=(const grid_tool_report&) = delete;
};

// The selected runs: each one's loaded-run index and name.
struct grid_tool_runs {
    std::vector<int> index;
    std::vector<std::string> names;
};
// The runs of the model record's first count loaded runs.
grid_tool_runs grid_tool_selected_runs(int count);
// Writes the "Runs:" heading line: with in_columns, each run in its colour
// in a field of its own (the columns of a table's times); otherwise
// "Runs: a, b" in one field, so that no run name stands in a column of
// values (the statistics, a table laid out time down).
void grid_tool_print_runs(const grid_tool_runs& runs, bool in_columns = true);
// False after the message when the main run lost its times.
bool grid_tool_main_run_present(const grid_tool_runs& runs);

// The message when no workbench variable is chosen, under the tool's name.
void grid_tool_no_variable(const char* tool_name);
// Writes the workbench variable's heading: its name and whether its causes or
// its uses come with it (related 0 or 1), alone written after it otherwise.
void grid_tool_print_variable(int related, const char* alone);
// The variable that names the time axis: the time base's, else the model's
// time (0 when there is none).
symbol_id grid_tool_time_axis();
