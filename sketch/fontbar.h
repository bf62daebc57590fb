// The bottom bar's build table filled from a sketch window (the view it
// shows, the depth shown, the view's text font and its colours) and the
// bar's two choosers that act on the sketch: the view and the depth.
#pragma once

#include "shell/bottombar.h"
#include "sketch/sketch.h"

#include <string>
#include <utility>
#include <vector>

// The bar's commands that the sketch window answers.
enum : int { bar_choose_view = 326, bar_choose_depth = 421 };

// The values of a sketch for the bar (a default colour shows as black).
bottom_view_values sketch_bar_values(const sketch_state& s);
// The values with element n's own style in place of the view's where it has
// one (own style bits: 32 face, 8 size, 2 text colour, 16 style, 1 outline
// colour; a connector's own line colour goes to the connector colour).
// *own: whether it has own style bits.
bottom_view_values element_bar_values(const sketch_state& s, int n, bool* own);
// Puts the sketch's values in the bar when `frame` is the active build
// window.
void show_sketch_bar(const sketch_state& s, HWND frame);
// The same with element n's own font and colours (show_element_font); 1 when
// it has own style bits, else 0.
int show_element_font(sketch_state& s, HWND frame, int n);

// The views a user can go to (number, name): named and not the shared view.
std::vector<std::pair<int, std::string>> listed_views(handle symbols);
// The depth chooser's texts: "Hide", "Depth 1" to "Depth 16", "Show" (the
// index is the level).
std::vector<std::string> depth_texts();
