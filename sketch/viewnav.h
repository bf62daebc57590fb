// Moving a sketch window's view: scrolling, zooming and changing the view
// shown (defined with the window, used by the mouse and the window alike).
#pragma once

#include "platform/win.h"

struct sketch_state;

// Scrolls a view to (x, y) pixels, kept inside the scroll ranges.
void scroll_sketch_to(HWND view, int x, int y);
// Sets a view's zoom (10 to 500 percent), keeping its top left corner; kept
// in the model context for the model's next sketch.
void set_sketch_zoom(HWND view, int zoom);
// Shows view `number` of the model; with a step (-1, 1) the nearest view in
// that direction that can be shown alone (the current one when none).
void show_sketch_view(HWND view, int number, int step);

// After the working copy's elements moved (a move, an undo): the scroll
// ranges follow the drawing bounds and the menus their undo state.
void sketch_layout_changed(HWND view);

// The view window of the open sketch (null: none), and the state of the
// sketch a view window shows (null: not a sketch view).
HWND current_sketch_view();
sketch_state* sketch_of(HWND view);
