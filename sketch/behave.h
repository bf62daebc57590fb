// Behaviour graphs: a miniature line graph of one variable over time, one
// curve per selected run, drawn inside the variable's box on the sketch while
// Livesweep runs or the behaviour display is switched on. Each value slot
// remembers the vertical range it was last drawn with, so that a graph does
// not jump while a slider is dragged; a change of range can tint the box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "sketch/sketch.h"

struct symbol_record;

// Process-wide options of the behaviour graphs.
struct behavior_options {
    // 0 rescales automatically; 255 forgets the remembered range at every
    // drawing; any other value keeps the remembered range and clips the curves.
    std::uint8_t range_mode = 0;
    bool include_zero = false;
    bool flash = true;     // tint a box whose remembered range changed
    bool rescaled = false; // set when a drawing changed a remembered range
    float margin = 1.0f;   // only values above 1 widen the range
};
extern behavior_options behavior_opts;

// A remembered vertical range (empty while lo >= hi).
struct behavior_range {
    double lo = 0, hi = 0;
    bool exists() const { return lo < hi; }
};

// What compute_behavior_range decided besides the range.
enum behavior_flash { flash_none = 0, flash_grew = 1, flash_shrank = 2 };

// The range to draw data spanning mn..mx with: widened when flat, by the
// include-zero and margin options, pinned by the declared minimum and maximum
// (NA when not declared; with_symbol false ignores them), measured against and
// written into the remembered range. *flash tells whether the box is tinted.
behavior_range compute_behavior_range(double mn, double mx, bool with_symbol, float declared_min,
                                      float declared_max, behavior_range& remembered,
                                      behavior_flash* flash);

// Widens mn..mx by the finite values of a series that are not NA; false when
// it has none (such a run does not count).
bool behavior_extremes(const float* values, int count, double* mn, double* mx);

// The nearest whole number to x, halves away from zero: std::lround without
// the library call, for |x| up to 1e15 (the curves' points, one per saved
// value).
long behavior_round(double x);

// The remembered range of a value slot of the open model (created empty).
behavior_range& remembered_behavior_range(int slot);

// Draws the behaviour graph of the value slot into the rectangle (device
// units). sym: the variable's symbol record for its declared range (null:
// none). with_labels draws the name and the scale around the plot. Tells
// whether the box was tinted for a changed range. on_screen: dc draws on a
// window or an image (not a printer or a metafile).
behavior_flash draw_behavior_graph(HDC dc, const symbol_record* sym, int slot, int left, int top,
                                   int right, int bottom, bool with_labels, bool on_screen = false);
// Tints a box (device units, right and bottom exclusive) by an exclusive-or
// with the colour: on_screen through the painter, else as a raster operation
// (the same pixels).
void tint_behavior_box(HDC dc, COLORREF colour, int left, int top, int right, int bottom,
                       bool on_screen);

// Whether the sketch shows behaviour graphs now: Livesweep is on, or the
// behaviour display was switched on (Show Behavior).
bool behavior_shown();
void set_behavior_display(bool on);
bool behavior_display();

// One behaviour graph box of a view: the device pixels its graph may draw
// in, and a 64-bit hash of everything the drawing depends on (the series of
// every run, the remembered range, the options, the box). Equal inputs draw
// the same pixels, unless the drawing tinted the box.
struct behavior_box {
    std::int32_t slot = -1;
    RECT extent{};
    std::uint64_t inputs = 0;
    bool flashed = false;
};

// Draws the behaviour graph of every variable with a value on s's view into
// its box, at the view's zoom and scroll (after paint_sketch). With a log,
// boxes outside the context's clip are left alone and each one drawn is
// appended with its inputs after the drawing.
void paint_behavior_graphs(HDC dc, const sketch_state& s, std::vector<behavior_box>* log = nullptr);
// The boxes of s's view with their inputs as they stand (before drawing).
std::vector<behavior_box> behavior_boxes(const sketch_state& s);
// The value slots of the variables on s's view that show a behaviour graph.
std::vector<std::int32_t> behavior_graph_slots(const sketch_state& s);
