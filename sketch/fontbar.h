// The bottom bar's build table filled from a sketch window: the view it
// shows, the depth shown, the view's text font and its colours.
#pragma once

#include "shell/bottombar.h"
#include "sketch/sketch.h"

// The values of a sketch for the bar (a default colour shows as black).
bottom_view_values sketch_bar_values(const sketch_state& s);
// Points the bar's hook at the sketch windows (called from main).
void install_sketch_bar_values();
