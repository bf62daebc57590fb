// The category graph: a line-graph record whose x axis is a list of
// categories (or of bins between bounds) with a row of dots per series, for
// the histograms. The positions come scaled already; the graph only lays
// them out and draws them like any line graph.
#pragma once

#include "foundation/types.h"

#include <string>
#include <vector>

struct category_graph_spec {
    std::string title;
    std::string variable; // whose values are shown (legend)
    std::string units;    // of the variable (the caller holds the model)
    // One name per category, then the x axis's title (which bins may leave
    // out: the variable's name is used).
    std::vector<std::string> categories;
    // Bin bounds (the category count + 1, ascending), or empty: the x axis
    // runs from 1 to the category count.
    std::vector<double> bounds;
    double y_min = 0, y_max = 1;
    std::vector<std::string> series; // series names
    // Per series, per category: the value's position, 0 (bottom) to 10000
    // (top); 0 means no value (not drawn).
    std::vector<std::vector<int>> positions;
};

// Lays out and opens the graph's window. The record, or 0 after "Unable to
// complete graph" (severity 8): no categories or series, bounds that do not
// match the categories, or no window.
handle build_category_graph(const category_graph_spec& spec);

// The x position (0..10000) of category `index` and the division count of
// the x axis, for a spec's categories or bounds (a single category or equal
// bounds: a span of 1).
int category_x_position(const category_graph_spec& spec, int index);
int category_divisions(const category_graph_spec& spec);
