// Painting a working view: elements (stocks as boxes, valves on pipes between
// clouds, names, shadows in angle brackets, text boxes, pictures as boxes)
// and connectors (straight, curved, polyline and orthogonal, with
// arrowheads), at a zoom and scroll, on any device.
#pragma once

#include "platform/gdi.h"
#include "sketch/sketch.h"

// Paints s's view on dc: sketch point (x, y) lands at pixel
// (x * zoom / 100 - scroll_x, y * zoom / 100 - scroll_y). The background is
// filled over `client` first.
void paint_sketch(HDC dc, const sketch_state& s, const RECT& client);

// The three points of a connector's arrowhead in sketch units: the tip at the
// connector's end, the two barbs either side of its arrow base. False when the
// connector draws none (no arrow, or its base coincides with its tip).
bool arrowhead_points(const sketch_elem& c, float out_x[3], float out_y[3]);
