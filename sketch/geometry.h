// What the sketch computes rather than stores: element sizes and automatic
// shapes, grid snapping, connector paths with their ends on the element
// outlines, keeping an arc's bend when an end moves, and hit testing.
#pragma once

#include <cstdint>

#include "sketch/sketch.h"

// The workbench metrics the geometry uses (sketch units). The defaults are
// derived from the default sketch font (see "Metrics" in
// docs/design/sketch.md); the drawing layer may install a text measurer that
// uses the real font.
struct sketch_metrics {
    int line_height = 14;
    int char_width = 6; // average character width, used without a measurer
    int default_width = 60;
    int default_height = 26;
    int round_diameter = 24;
    int valve_width = 24;
    int valve_height = 16;
    int arrow_width = 8;
    int arrow_length = 10;
    int grid_x = 1, grid_y = 1;   // grid steps (1: no grid)
    int align_x = 0, align_y = 0; // 0 centre, 1 low edge, 2 high edge
    int wrap_margin = 10;
    int label_distance = 8; // a connector's mark or label from its anchor
    // Automatic shapes by variable type.
    int shape_level = 3, shape_aux = 0, shape_constant = 0, shape_data = 0, shape_pair = 0;
    // Text width in sketch units; null: characters x char_width.
    int (*text_width)(const char* text, const sketch_elem* element) = nullptr;
};
sketch_metrics& workbench_metrics();
int measure_text(const char* text, const sketch_elem* element);

// The arrowhead of one connector: the width metric and length after its
// width code (11-20 and 21 up enlarge the arrowhead in proportion).
struct arrowhead {
    int width;
    int length;
};
arrowhead connector_arrowhead(int width_code);

// The circle (circle 1) or ellipse (circle 0) through three points: 1 with
// its centre and radii, 0 for coincident or collinear points or a radius of
// 2500 or more.
int circle_through_points(int x1, int y1, int x2, int y2, int x3, int y3, int* cx, int* cy, int* rx,
                          int* ry, int circle);

// The crossing of an arc of radius |(dx, dy)| (relative to its centre, y up)
// with a round element of half width w, going one way (direction 1
// counter-clockwise, 0 clockwise). With arrow, also the arrow base an
// arrowhead of length further on. False when the element or the arrowhead is
// wider than the arc there (no crossing exists).
bool clip_arc_round(int direction, double dx, double dy, double w, int arrow_length, bool arrow,
                    int* px, int* py, float* ax, float* ay, double* angle);
// The crossing of an ellipse (rx, ry) with a box (relative to the centre, y
// up) nearest the reference angle in the direction; the reference point when
// none. False for a radius of 0 or an arrowhead longer than the arc allows.
bool clip_arc_rect(int direction, int ref_x, int ref_y, double left, double top, double right,
                   double bottom, double ref_angle, double rx, double ry, int arrow_length,
                   bool arrow, int* px, int* py, float* ax, float* ay, double* angle);

// Moves a flow pipe's first and last bend points so that its end segments
// meet the two elements at right angles (one point: a straight pipe, or one
// turn at the nearer corner).
void place_pipe_ends(std::vector<sketch_point>& points, const sketch_elem& from,
                     const sketch_elem& to);

// Computes the working geometry of connector n; marks the layout changed.
void connector_geometry(sketch_state& s, int n);

// Refreshes the size (and automatic shape) of element n from its text and
// kind. type: the variable's symbol type (0 for none).
void element_size(sketch_state& s, int n, int type);

// Moves element n to (x, y) keeping the bend of its arcs, and recomputes its
// connectors.
void move_element(sketch_state& s, int n, int x, int y);
// The handle point of an arc from f whose other end moves from o to n.
sketch_point keep_bend(const sketch_state& s, sketch_point p, sketch_point f, sketch_point o,
                       sketch_point n);

// Snaps element n to the grid of the workbench metrics.
void snap_to_grid(sketch_elem& e, const sketch_metrics& m);

// Size of a word-wrapped box for a name of the given text width.
void label_box_size(const char* text, int text_width, int* width, int* height);

// The topmost element at a sketch point: 1 inside one, -1 on a resize handle,
// 0 nowhere; sets the element under the mouse (and in modes other than 2 the
// grab code and anchor). Mode 0 plain, 1 with handles, 2 hover.
int hit_test(sketch_state& s, int mode, int x, int y, bool include_shared);

// Sketch units to window pixels and back (integer, truncating toward zero).
inline int unit_to_pixel(int unit, int zoom, int scroll) {
    return unit * zoom / 100 - scroll;
}
inline int pixel_to_unit(int pixel, int zoom, int scroll) {
    return zoom ? (pixel + scroll) * 100 / zoom : 0;
}
