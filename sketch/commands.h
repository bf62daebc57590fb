// The sketch frame's menu and key commands beyond paging, printing and
// copying (which the window serves itself): selection by kind and of what
// is visible, find across views, zoom steps, fit and a typed percentage, the
// depth of hidden elements, the view list, and the answers to the editing
// commands of the authoring edition.
#pragma once

#include "model/constants.h"
#include "platform/win.h"
#include "sketch/keys.h" // skc_zoom_fit and the other key-posted commands
#include "sketch/sketch.h"

enum : int {
    skc_view_list = 326,
    skc_select_visible = 346,
    skc_zoom_200 = 367,
    skc_zoom_100 = 368,
    skc_zoom_75 = 369,
    skc_zoom_50 = 370,
    skc_zoom_custom = 372,
    skc_depth_first = 403, // hide every hidden element; 404 to 419 depths 1 to 16
    skc_depth_last = 420,  // show all
    skc_depth_list = 421,
    skc_show_more = 422,
    skc_show_less = 423,
};

// The smallest rectangle round the view's elements (boxes) and connectors
// (points), sketch units; false for an empty view.
bool content_bounds(const sketch_state& s, RECT* out);

// Zoom to fit for a client of w by h pixels: the content shrunk (never
// grown past 100 %, never below 10 %) and centred. An empty view gets zoom
// 100 and scroll 0, 0.
void fit_view_zoom(const sketch_state& s, int w, int h, int* zoom, int* scroll_x, int* scroll_y);

// The answer to "% of normal to zoom to": 1 with the zoom; 0 for an empty
// answer (nothing to do); -1 when it is not a whole number from 10 to 500
// (reported at severity 8).
int parse_zoom_answer(const char* text, int* zoom);

// The shown level after Show More (more) or Show Less. At the end of the
// range the user is told so (severity 8) and the level stays at 17 or 0.
int next_shown_level(const sketch_state& s, bool more);

// The next variable element of a symbol in the working view after element
// `after` (0: from the start); 0 when none.
int find_symbol_after(const sketch_state& s, symbol_id symbol, int after);

// Finds a variable on the views: the current view after `after` first, then
// the other views in order from the next one round; the view holding it is
// shown and the element selected and scrolled into view. False, reported
// ("Unable to find ..."), when no view shows it.
bool find_in_views(HWND view, symbol_id symbol, int after);

// Carries out a frame command the window passes on; false for an id that is
// not one of these.
bool sketch_frame_command(HWND view, int id);
