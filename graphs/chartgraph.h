// The chart-control graph: a line graph with a graph style is drawn by the
// chart library's control, a child window over the graph window's client
// area, instead of by the drawing layer. The graph's laid-out series become
// the chart's data; the chart is refilled live, drawn on the printer and on
// export devices, re-fitted on resize and released with the window.
#pragma once

#include "foundation/types.h"

#include <string>
#include <vector>

struct line_graph;
struct output_record;

// Chart type and dimension (1 2D, 2 3D) for a graph style: 2 3D lines or
// points, 3 3D ribbons, 4 3D areas, any other non-zero 2D lines or points
// (points when the graph draws dots).
struct chart_kind {
    int type = 4, dimension = 1;
};
chart_kind chart_kind_for(int chart_style, int line_kind);

// One units group of the y axis: its range and units text.
struct chart_group {
    double bottom = 0, top = 1;
    std::string units;
};
// The y title of several groups: three tab-separated columns (bottom,
// middle, top), each with one line per group, each value followed by its
// units; empty for one group. The vertical axis shows the columns as its
// numbers at its bottom, middle and top. *widest gets the characters of the
// longest line (0 for one group).
std::string chart_y_title(const std::vector<chart_group>& groups, int* widest);
// The view's left margin in per cent for y numbers of `chars` characters in
// a chart area of this size: room for the numbers, at least 10, at most 50.
double chart_left_margin(int chars, int width, int height);
// Where legend item i goes (y of AddLegend): the rule of the dimension the
// chart was made in.
double chart_legend_y(int dimension, int i);
// The legend of n series: up to six lines in one column at 7.5 points; more
// in up to three columns of equal lines at 6 (two) or 5.5 points (three),
// each text then cut to
// max_chars (0: not cut), so that the plot keeps half the window.
struct chart_legend_layout {
    int columns = 1, rows = 1, max_chars = 0;
    double points = 7.5;
};
chart_legend_layout chart_legend_columns(int n);

// Whether the x axis numbers of a chart graph, on one row, would run into
// each other in a window of this size (left_margin: the view's left margin
// in per cent): such an axis alternates its labels between two rows.
bool chart_x_labels_crowd(const line_graph& g, int dimension, double left_margin, int width,
                          int height);

// The class-library application object: made once (1), or 0 when it could
// not be. Without it no chart graphs are made; the program goes on.
int init_chart_app();
void exit_chart_app();

// Makes (when needed) and fills the chart of a laid-out graph record whose
// window is open; the record's draw, live-update and release callbacks then
// go through the chart. 1, or 0 without the application object or a chart.
int build_chart_graph(handle record, int chart_style);
// Replaces the chart's data with the graph's current series and draws it at
// once; 0 when the record has no chart.
int refill_chart(handle record);
// Draws the chart on the drawing layer's active device (printing, saving,
// copying), at out_size; 0 without a chart.
int draw_chart_graph(handle record);
// Moves the chart to (0, 0) at the size and repaints it.
void resize_chart(handle record, int width, int height);
// Destroys the chart and clears the record's chart object.
void release_chart(handle record);
// The record's chart control (null when it has none), for tests and tools.
class CChartCtrl* chart_of(handle record);

// Installs the application object's start and end as the shell's calls
// (shell/upcalls.h).
void install_chart_graph_hooks();
