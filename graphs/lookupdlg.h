// The lookup editor: dialog 297 shows one lookup's points as a graph and a
// table; the mouse drags points, adds or clears them and Shift- or
// Ctrl-drags a zoom of the x or y range; OK takes the points over for the
// next runs (the Simulation Setup working copy, never the model's table).
#pragma once

#include "graphs/lookupedit.h"
#include "platform/win.h"

// Opens the editor for a lookup ("name" or "name[element]"); 1 when the
// points were taken over, 0 otherwise (Cancel, a game on, not a lookup:
// "Lost Lookup %s"). Callable from anywhere with a model open (the sketch,
// the Lookup Changes dialog); it needs no graph window.
int edit_lookup(const char* name);

// Dialog procedure of dialog 297 and window procedure of "Kavrel_lookup".
INT_PTR lookup_ed_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT lookup_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The points of the editor open now (null when none), and the plot
// rectangle of its graph area, for what reads the editor from outside.
const lookup_points* open_lookup_points();
lookup_plot lookup_graph_plot(HWND graph);

// Draws a point table's graph into a plot rectangle: a grey frame, dotted
// grid lines, the reference points in light grey and the points as squares
// of half size `half` joined by lines, clipped to the rectangle.
void draw_lookup_points(HDC dc, const RECT& plot, const lookup_points& p, int half = 2);

// Points the shell's calls (shell/upcalls.h) at the editor (the Lookup Changes dialog's Graph
// button and the graph area's window class).
void install_lookup_editor_hooks();
