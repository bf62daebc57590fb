// The Sensitivity Graph tool: for each element of the workbench variable
// (and, by choice, of its causes or uses) a graph over time of how the
// simulations of a sensitivity run spread, as confidence bands or as a line
// per simulation, with a line per selected run; several graphs stacked in a
// graphics window, the graphs split over windows.
#pragma once

#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/gdi.h"

#include <cstdint>
#include <string>
#include <vector>

struct output_record;

struct sens_options {
    std::int32_t bounds[8];
    std::uint32_t band_colours[8];
    std::uint32_t sim_colour, spare_colour;
    font_spec font, small_font, smallest_font;
    std::int32_t graphs_per_window, max_windows, graph_width, graph_height;
    std::uint8_t var_choice, eq_flag_a, eq_flag_b, show_units, show_mean, show_bands,
        hide_first_run;
    std::uint8_t tree_kinds[9];
};
static_assert(sizeof(sens_options) == 224);

// One graph of a window: the positions (0..10000) of its points. rows holds
// `row_count` rows of xs.size() positions: row 0 the first run's series, row
// 1 the mean of the simulations, then per band its lower and upper outline,
// or without bands a row per simulation.
struct sens_plot {
    std::string name, units;
    double low = 0, high = 100;
    std::vector<std::int16_t> xs, rows;
    int row_count = 0;
    int band_count = 0; // 0: no sensitivity data for this graph
    int sim_lines = 0;  // simulation rows drawn as lines
    // The other runs' lines (run index 1 on; run 0 too when it has no data of
    // the simulations): positions per run.
    std::vector<std::vector<std::int16_t>> run_xs, run_ys;
    std::vector<int> run_of; // the run position of each line
    std::int16_t zero_line = 0;
    // Its own value division count (0: the window's), for round steps.
    int divisions = 0;
};

struct sens_window {
    std::string title, x_title, x_var_name = "Time";
    font_spec fonts[3]{};
    std::uint8_t font_choice = 0;
    std::int32_t bounds[8]{};
    COLORREF colours[8]{};
    int band_count = 0;
    COLORREF sim_colour = 0;
    std::vector<std::string> run_labels;
    double t_low = 0, t_high = 1;
    int value_divisions = 5, time_divisions = 10;
    int graph_width_mm = 152, graph_height_mm = 66;
    std::uint8_t show_units = 0, show_mean = 0, hide_first_run = 0;
    std::vector<sens_plot> graphs;
};

// Drops zero bounds and sorts the rest ascending with their colours; the
// number left (at most 8).
int compact_bands(std::int32_t bounds[8], COLORREF colours[8]);
// How many graphs each window gets: n graphs over ceil(n / per_window)
// windows (one when one_fits), window k taking min(remaining, ceil(remaining
// / windows left)).
std::vector<int> split_sens_windows(int graphs, int per_window, bool one_fits);

// Maps one graph: the first run's series (times, values) with the
// simulations' rows (one value per time each; empty: no sensitivity data)
// and the other runs' series, over [t_low, t_high]; the value range from all
// of them (0 to 100 with none, rounded otherwise), or fixed_low to fixed_high
// when that range is given and not empty.
struct sens_series {
    std::vector<float> times, values;
};
void map_sens_plot(sens_plot& p, const sens_window& w, const sens_series& first,
                   const std::vector<std::vector<float>>& sims,
                   const std::vector<sens_series>& others, bool round_range, double fixed_low = 0,
                   double fixed_high = 0);

int sens_tool_setup(int mode, handle tool, std::string* out, const char* text);
void sens_tool_run(handle tool);
// The window data of a record (null none) and the records the tool's last
// run made.
sens_window* sens_window_of(handle record);
const std::vector<handle>& last_sens_records();
// Makes the record of a window and opens it; 0 after "Unable to complete
// sens diagram".
handle show_sens_window(sens_window w);
