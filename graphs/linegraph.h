// The line graph: the data a graph of series over time is built from (the
// series read from runs and mapped into the 0..10000 square), the gathering
// step that reads them and fixes the axis ranges and division counts, and the
// layout and drawing for any device of the drawing layer.
#pragma once

#include "draw/axis.h"
#include "foundation/names.h"
#include "foundation/types.h"
#include "platform/gdi.h"

#include <cstdint>
#include <string>
#include <vector>

struct output_record;

// The graph settings read here (division counts, graph fonts), through one
// accessor with their defaults until the option block holds them.
struct graph_settings {
    int x_divisions = 10;
    int y_divisions = 5;
    font_spec fonts[6]; // legend, crowded legend, last-resort legend, title, axes, annotation
    // The interval marker's length in x units (0.0001 or less: no marker).
    float interval = 0;
};
const graph_settings& graph_defaults();
// Sets the interval the line graphs mark (the option block's value).
void set_graph_interval(float interval);

struct graph_series {
    std::string name;  // element name read from the run
    int run = -1;      // loaded-run index
    std::string label; // legend text
    std::int32_t label_cell = 0;
    // Value slot + 1 of the variable the Livesweep re-runs redraw (0 none).
    std::int32_t live_slot = 0;
    std::vector<float> times, values; // as read (given series: as given)
    // Cumulative and stacked graphs: values holds the integral or sum, and
    // read_values the values as read, which the next gathering starts from.
    std::vector<float> read_values;
    bool transformed = false;
    std::vector<std::int16_t> xs, ys; // positions 0..10000
    // Units group (scale) the series is drawn against; 0 the graph's first.
    int group = 0;
    // Its own colour (has_colour), pen (0 the graph's default; above 0 a
    // width; below 0 a dash style of the curve pens, -1 dot, -2 dash, -3
    // dash-dot, -4 dash-dot-dot) and marker shape and size for dots (0: the
    // defaults).
    bool has_colour = false;
    COLORREF colour = 0;
    std::int8_t line = 0, shape = 0, shape_size = 0;
    // Sensitivity bands: per band its per mille width (widest first) and
    // colour; the simulations' values over the series' times. Drawn from
    // band_rows (rows of band_xs.size() positions: the series, the mean,
    // then per band its lower and upper outline).
    std::vector<int> band_per_mille;
    std::vector<COLORREF> band_colours;
    std::vector<std::vector<float>> sims;
    COLORREF sims_colour = 0x00808080; // the simulations' lines without bands
    bool band_mean = false;
    COLORREF mean_colour = 0;
    int mean_width = 1;
    std::vector<std::int16_t> band_xs, band_rows;
};

// A units group beyond the graph's first (whose range and units are the
// graph's own y_min, y_max and units): each has its own y scale.
struct y_group {
    double y_min = axis_unset, y_max = -axis_unset;
    std::string units;
};

struct line_graph {
    handle data = 0; // string block: the cells hot spots refer to
    std::string title, caption, x_title, x_var_name = "Time", units;
    // Printed graphs only: the footer at the bottom left and the annotation
    // at two thirds of the width and height.
    std::string footer, annotation;
    std::int32_t caption_cell = 0, x_title_cell = 0, x_name_cell = 0;
    double x_min = axis_unset, x_max = -axis_unset;
    double y_min = axis_unset, y_max = -axis_unset;
    int x_divisions = -1, y_divisions = 5;
    // The y division count was given by the graph's definition: round steps
    // keep it (else it is a wish that a scale the graph chooses may change).
    bool y_divisions_given = false;
    std::uint8_t graph_mode = 0, labels_between = 0, hide_flags = 0, hide_empty = 0;
    // 0 lines; above 0 dots (markers only); -1 stacked graphs fill each
    // series' area down to the bottom (other graphs draw lines then).
    std::int8_t line_kind = 0;
    // Stacked graphs: only the first stack_limit series of each group are
    // stacked (and filled); 0 all.
    int stack_limit = 0;
    std::vector<graph_series> series;
    // Texts of the x divisions 0..x_divisions in place of numbers (category
    // graphs); empty: numbers.
    std::vector<std::string> x_labels;
    // Groups after the first (see y_group); series are stored group by group.
    std::vector<y_group> more_groups;
    // Label lists given by the definition in place of numbers: x labels at
    // their positions along the axis, y labels of the first group at theirs
    // (0 the top); the other groups show their values at the same places.
    struct placed_label {
        std::string text;
        std::int16_t pos = 0;
    };
    std::vector<placed_label> x_custom, y_custom;
    // Reference lines, positions 0..10000 (0 none): y of the values 0 and 1,
    // x of the model's special time. Set while gathering from the options.
    std::int16_t zero_line = 0, one_line = 0, special_time_line = 0;
    // Length of the settings' interval in x positions (0 none): a marker
    // under the plot's left end shows how long the interval is.
    std::int16_t interval_width = 0;
    // Set y bounds are widened to cover the data.
    bool soft_bounds = false;
    // Printed on a portrait page (a PORTRAIT definition); else the print
    // options' orientation.
    bool portrait = false;
    // The x axis is the time basis (a graph of one variable against another
    // or of categories has no special time).
    bool x_is_time = true;
    // The x values are another variable's, read against each series' run
    // and matched on time (X-AXIS naming no time base).
    bool xy_mode = false;
    // The plot rectangle of the last screen paint at its output size (W, H):
    // where a work-in-progress update draws its new segments.
    bool plot_ok = false;
    int plot_left = 0, plot_top = 0, plot_right = 0, plot_bottom = 0, laid_w = 0, laid_h = 0;
    int series_count = 0, skipped_count = 0;
    font_spec fonts[6];
    // The designed size in device pixels, kept with the graph (0: 6 x 4 in).
    int design_width = 0, design_height = 0;
    // Reported once per gathering: a given x range that is empty or reversed.
    bool bad_x_range_reported = false;
};

// A graph record (output type 5) with its graph and callbacks; cur_output.
// 0 when memory ran out.
handle new_line_graph_record();
// The graph of a record (null when it has none).
line_graph* graph_of(handle record);
line_graph* graph_of_record(const output_record* record);
// Adds a text to the graph's string block; its cell.
std::int32_t graph_text(line_graph& g, const char* text);

// The number of units groups, and the range and units of group k (0 the
// graph's own fields).
int group_count(const line_graph& g);
double& group_min(line_graph& g, int k);
double& group_max(line_graph& g, int k);
double group_min(const line_graph& g, int k);
double group_max(const line_graph& g, int k);
const std::string& group_units(const line_graph& g, int k);

// Reads an axis label list ("v=label?...") into the graph's x labels (sets
// the x range and division count) or the first group's y labels (sets its
// range and the y division count). false: the list was ignored.
bool set_axis_labels(line_graph& g, const char* text, bool x_axis);

// Reference line positions from the scaling options (lines at 0, at 1 and at
// the special time): with one group, at 0 and 1 when they lie strictly
// inside the y range; the special time strictly inside the x range. Also the
// interval marker's width from the settings' interval.
void set_reference_lines(line_graph& g, std::uint8_t extra_lines, double special_time);

// The designed size from a size code (0 custom width x height in inches, or
// centimetres when metric; 1 small 4 x 3 in, 2 normal 6 x 4 in, 3 large 8 x 6
// in, 4 30 x 30 in, anything else 6 x 4 in).
void set_graph_size(line_graph& g, int size_code, double width, double height);

// Reads every series that has no data yet from its run (constants widened
// to the run's first and last time), integrates (cumulative) or stacks them,
// fixes the y range, the x range and the division counts and maps the
// points. limit16: at most 16 series shown. Returns the number of series
// with data, 0 none, -1 after the stacking error (reported).
int gather_graph_series(line_graph& g, bool limit16);
// The x division count for a range when the graph chooses it. scale_small
// false counts whole units of a span below 4.5 too (a work-in-progress graph
// widening its time axis), which the doubling then raises to at least 4.
int choose_x_divisions(double x_min, double x_max, int default_count, bool scale_small = true);

// Shows a graph record whose series are filled in (read from runs, or given
// as times and values with run -1): gathers them (at most 16 shown) and lays
// the graph out in its window. The record; or 0 after "Unable to complete
// graph" (nothing to draw or no window; the stacking error says so itself),
// the record and its graph freed.
handle show_line_graph(handle record);

// Layout callback: opens the graphics window at the designed size.
int layout_graph(output_record* record);
// Live-update callback: after a Livesweep re-run, maps every series with a
// live slot anew from the value cache's shown run (stacked graphs: summed)
// and repaints the window.
void update_graph_live(handle record);

// Livesweep's notice to the open graphs: before a re-run (phase 0) each line
// graph reads the series it redraws from the value cache, so the re-run
// writes into them; after it (1) every window with a live-update callback is
// sent the message that runs it.
void livesweep_graphs(int phase);

// Work-in-progress updates that leave every range as it is: maps the newest
// point of each listed series at its group's range and appends its position
// (a non-finite or missing value adds none, so the line joins its
// neighbours).
void map_newest_points(line_graph& g, const std::vector<int>& series);
// Whether the point (x, y) of series i lies inside the graph's x range and
// its group's y range (what map_newest_points can place without a remap).
bool point_in_ranges(const line_graph& g, int i, double x, double y);
// Draws only the newest segment (dots: the newest marker) of each listed
// series into the active device, in the plot rectangle of the last screen
// paint; false when there was none at this output size (repaint instead).
bool draw_newest_segments(line_graph& g, const std::vector<int>& series);

// Draw callback: the whole graph into the active device.
void draw_graph(output_record* record);
// Draws into the active device at (W, H) = the output size; full 0: the plot
// only (grid and series).
void draw_line_graph(line_graph& g, int full);
