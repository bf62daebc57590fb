// The sketch window: a build window in the workbench's container (a frame
// holding the view), opened on the current model's diagram when a model
// opens, scrolled with its bars and the wheel. The shell reaches it through
// the sketch calls of shell/upcalls.h, which install_sketch_hooks points here.
#pragma once

#include "platform/win.h"
#include "sketch/keys.h"
#include "sketch/sketch.h"
#include "sketch/viewnav.h"

// Points the shell's sketch calls at the sketch window (called from main).
void install_sketch_hooks();

// Opens a sketch window on the current model's saved (or first) view,
// closing any other first; the view window, null without a model.
HWND open_sketch_window();
// Closes every sketch window. A view-only window has nothing to save, so
// nothing is asked. 1 always.
int close_all_sketch_windows();

// How the diagram draws the arrow from the variable `cause` to `effect` in
// view s: its colour (-1 the default), width code and mark character, for the
// tree tool's links. False when the view has no such arrow.
struct tree_link_look;
bool sketch_link_look(const sketch_state& s, std::uint32_t cause, std::uint32_t effect,
                      tree_link_look* out);

// The output record ('+') of a view's sketch, which find_sketch_window
// returns; 0 when none.
handle sketch_record(HWND view);

// Fits the zoom to the diagram (kept while the window changes size, until a
// zoom is set).
void zoom_to_fit(HWND view);

// The scroll range of one axis in pixels for content lo..hi sketch units at
// a zoom, with a page of `page` pixels: the least and greatest scroll
// position (greatest >= least).
void sketch_scroll_range(int lo, int hi, int zoom, int page, int* min_pos, int* max_pos);
