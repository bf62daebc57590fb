// Painting a working view: elements (stocks as boxes, valves on pipes between
// clouds, names, shadows in angle brackets, text boxes, pictures as boxes)
// and connectors (straight, curved, polyline and orthogonal, with
// arrowheads), at a zoom and scroll, on any device.
#pragma once

#include <string>
#include <vector>

#include "platform/gdi.h"
#include "sketch/sketch.h"

// Paints s's view on dc: sketch point (x, y) lands at pixel
// (x * zoom / 100 - scroll_x, y * zoom / 100 - scroll_y). The background is
// filled over `client` first. Each element is drawn in the view's font with
// its own size, style, face and colours where it has them, its label inside
// (word-wrapped) or beside its box. output: a print or copy, where input and
// output objects are drawn rather than left to their windows; `view` is the
// diagram window whose object windows they are drawn from.
void paint_sketch(HDC dc, const sketch_state& s, const RECT& client, bool output = false,
                  HWND view = nullptr);

// The colour-mode byte of the Options (cm_* bits) that applies to a paint:
// the display's on screen, the printer's while printing, the clipboard's
// while copying. Monochrome draws black on white with no fills but the
// arrowheads.
std::uint8_t sketch_colour_mode(bool output);

// Whether a variable is of a type: its own type, or (not for a constant
// without its changeable flag, nor for types without slots) the per-slot type
// of its first slot or of any element's slot. Needs the model locked.
int symbol_has_type(symbol_id id, int type);

// Shape 6: the corners at 22 and 78 hundredths of the height.
void draw_hexagon(HDC dc, int left, int top, int right, int bottom);

// The three points of a connector's arrowhead in sketch units: the tip at the
// connector's end, the two barbs either side of its arrow base. False when the
// connector draws none (no arrow, or its base coincides with its tip).
bool arrowhead_points(const sketch_elem& c, float out_x[3], float out_y[3]);

// Where a connector's marks and labels go: one anchor for straight and arc
// arrows (the arc's handle point, a straight arrow's middle), each bend point
// for polylines; with the offset (sketch units) from each anchor, across the
// connector, of the label distance's length. for_label: the decoration's
// other-side bit turns the offset round (a delay mark ignores it), and its
// label-at-head bit puts the one label at the arrowhead's base, beside the
// arrowhead (for an arc on the arc's inside). Any path but a polyline or an
// orthogonal one is an arc when its geometry gave it an arc box.
struct mark_anchor {
    int x, y;   // the anchor
    int dx, dy; // the offset
};
std::vector<mark_anchor> connector_mark_anchors(const sketch_elem& c, bool for_label);
// 1 when (x + dx, y + dy) lies further from the origin than (x, y).
int turns_outward(long x, long y, long dx, long dy);

// The text an element shows: a variable's name (a shadow's in angle
// brackets); a file link's caption after its "|" (nothing without one); an
// input/output object's variable name; another text element's whole text.
std::string sketch_element_text(const sketch_state& s, const sketch_elem& e);
