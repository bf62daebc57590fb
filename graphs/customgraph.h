// Custom graphs: line graphs drawn from the definitions of the current graph
// set, the work-in-progress graph that grows while a simulation runs, and
// running a set's definitions as user tools.
#pragma once

#include "foundation/types.h"
#include "graphs/sets/graphdef.h"
#include "platform/win.h"

#include <vector>

struct line_graph;

// A ready series handed to a custom graph (the behaviour tests' graphs):
// its times and values as they are to be drawn.
struct given_series {
    std::vector<float> times, values;
};

// Builds the line graph of a definition (kind 5) and opens its window; the
// output record, or 0 when nothing was drawn (said why). While a simulation
// runs only WIP definitions are drawn: their series read the running values,
// and the graph joins the work-in-progress list. Between the intervals of a
// game a WIP definition is drawn the same way, its series filled from the
// game's run so far and the game's current values (at most its maximum
// number of points, past which "Too many points to complete WIP graph").
// given (may be null): one ready series per variable of the definition, in
// order, each under the variable's name as written; no run is read then and
// none need be loaded.
handle build_custom_graph(const graph_def& def, const std::vector<given_series>* given = nullptr);

// Runs user tools of the current set: the definition of that name (null: the
// one at index, or with index < 0 every WIP definition). mode 1 runs only
// WIP definitions. Returns the number run.
int run_user_tool(const char* name, int index, int mode);

// Takes over the places of the current set's open windows. mode 1: each
// framed window's place (its frame's corner in the workbench and its size)
// goes into its definition, and a set that was unchanged is marked changed
// when a place moved; other modes run the definitions with open windows
// again. Returns the number of places stored.
int merge_window_changes(int mode);
// Notes where a definition's window stands as it opens.
void note_tool_window_place(graph_def& d);
// Clears the window reference of the definition whose window this output
// record was (called as the window closes).
void forget_tool_window(handle record);

// Brings a work-in-progress graph up to date with the running simulation
// (the shell calls it at every save); false when its window is gone. A live
// series holds at most twice the definition's MAX-POINTS points (200 when
// not given); past that it stops growing and each save says "Increase
// maxpoints for WIP graph" once.
bool update_wip_graph(handle record);

// Reads a work-in-progress graph's live series again and maps them anew: in
// a game, from the game's run so far and its current values (the points kept
// otherwise); x_changed lets the time axis follow the data first. false when
// the record is no work-in-progress graph.
bool refresh_wip_graph(handle record, bool x_changed);

// Widens the x range of a work-in-progress graph whose data reached lo..hi:
// an end that follows the data (grow_min, grow_max) and was passed moves so
// that the span is 1.25 times the span reached, rounded by the axis layer;
// a span below 10000 then takes one division per whole unit (4 to 20).
// false when no end moved.
bool widen_live_x(line_graph& g, double lo, double hi, bool grow_min, bool grow_max);

// The same for a units group's y range whose data reached lo..hi: an end
// passed moves so that the span is 1.25 times the data's, rounded. false
// when the range was not set or the data have no span (the caller finds the
// range from the data then).
bool widen_live_y(double& y_min, double& y_max, double lo, double hi);

// Draws the newest segment of each listed series of a graph straight into
// its window (the plot of its last paint); false when the window must
// repaint instead (another size, never painted). A paint still pending
// draws them itself (true).
bool draw_wip_segments(handle record, HWND window, line_graph& g, const std::vector<int>& grown);

// The shell's start-of-run call: opens the current set's WIP definitions when
// the option to open the work-in-progress graph on simulation is on. 1 when a
// graph was opened.
int open_wip_graphs();

// Installs the graph sets' hooks: the model store's graph-set loader, the
// shell's exit question, the engine's value references, and the
// work-in-progress updater and start-of-run call of the shell.
void install_graph_set_hooks();
