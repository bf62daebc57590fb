// Small services of the sketch window that are not elements: selecting
// elements by kind or by the rubber band (a valve pair's valve and flow
// variable go together), and the pictures of the sketch tool buttons.
#pragma once

#include "platform/gdi.h"
#include "platform/win.h"
#include "sketch/sketch.h"

// The select-by-kind commands of the sketch frame.
enum : int {
    sel_all = 315,     // every element
    sel_main = 354,    // elements above variables, primary variables, connectors
    sel_aux = 426,     // "Aux/Const/Data": variables that are neither stocks nor flows
    sel_arrows = 427,  // "Information Arrows"
    sel_levels = 428,  // "Levels"
    sel_rates = 429,   // "Rates": flows, valves and pipes
    sel_shadows = 431, // shadow variables
};

// Selects elements. A command of 0 or above selects by kind (the selection
// before is dropped; selection state 3). Below 0 it selects by the band
// (s.band_x0 .. band_y1, sketch units, any corner order): with `fresh` the
// selection before is dropped first, else the band adds to it; elements whose
// boxes overlap the band's inside (touching its edge is not enough) and
// connectors with a point within 3 units of it; a valve pair's partner comes
// along (selection state 1). Elements above the shown level are left out.
// The number of elements selected by this call.
int select_sketch_elements(sketch_state& s, bool fresh, int command);

// The page boundaries over a client area (the "Pagemarks" positioning
// option): dotted lines every page width and height from the view's origin,
// in screen pixels (the zoom does not scale them). A page side of 0 or less
// draws nothing on that axis.
void draw_page_lines(HDC dc, const sketch_state& s, const RECT& client, SIZE page);

// Draws the picture of a sketch tool button (command ids 1341 to 1375) into
// a rectangle of a button's context; other ids draw nothing. False when
// nothing was drawn.
bool draw_sketch_tool_icon(int command, HDC dc, const RECT& r);
