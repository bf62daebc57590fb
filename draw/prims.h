// Drawing primitives on the active device of the drawing layer: lines,
// frames, boxes and bars in the graph colours (black and fill patterns in
// monochrome), with their records in the graphics transfer text while one is
// being written. Every primitive leaves the black stock pen and the white
// stock brush selected.
#pragma once

#include "foundation/names.h"
#include "platform/gdi.h"

#include <cstdint>
#include <string>

// The graph colours (0x00BBGGRR): 0-11 by curve number modulo 12, 12 white
// (plot areas), 13 black (their frames).
inline constexpr int colour_table_size = 14;
extern const COLORREF colour_table[colour_table_size];
// Dash styles by curve number modulo 5: solid, dot, dash, dash-dot, dash-dot-dot.
extern const int pen_styles[5];
// Marker characters by curve number modulo 12.
inline constexpr const char* marker_chars = "123456789ABC";

// The table entry for an index: 0-13 as they stand, any other index taken
// modulo 12 (never outside the table).
COLORREF table_colour(int index);
// A curve's colour: from `colours` when given, else the table by index % 12.
COLORREF curve_colour(const COLORREF* colours, int index);
// The fill pattern of a monochrome fill: always one of the twelve patterns.
int fill_pattern_for(int first_offset, int index);

// A straight line; colour 0xFFFFFFFF is the active font's colour; a negative
// width is a raw pen style with width 0; a positive width is scaled to the
// printer while printing. Transfer records 5 and 4.
void draw_line(std::uint32_t colour, int width, int x1, int y1, int x2, int y2);
// An unfilled rectangle, right and bottom extended by width - 1, in the
// index's colour (black in monochrome).
void draw_frame(int index, int width, int left, int top, int right, int bottom);
// A rectangle filled and outlined in the index's colour; in monochrome the
// index's pattern with a black outline, white for an index outside 0-11.
// Transfer record 2.
void fill_box(int index, int left, int top, int right, int bottom);
// A filled bar; in colour one pixel wider and higher than given (record 2 of
// the enlarged box), in monochrome the pattern after the index's.
void fill_bar(int index, int left, int top, int right, int bottom, const COLORREF* colours);

// The pen of a curve: a negative width is dash style (-width) % 5 at width
// 1; else the width (scaled to the printer while printing, except below 2
// with styled lines) and, with styled lines, the curve's dash style at width 1.
HPEN curve_pen(const COLORREF* colours, int index, int width);
// A series of positions on the 0..10000 square drawn into the box: one
// polyline, repeated points skipped, broken where neighbouring x positions
// differ by more than a positive `mode`; with `last_only` and more than two
// points only the last segment (live updates); with `clip` (not while
// exporting) clipped to the box. Each drawn piece writes records 5 and 3.
// Positions map as left + pos x (right - left) / 10000 (toward zero).
// With a marker spacing, the curve's marker character is drawn along it:
// W (the width of "W" in the marker font) x max(spacing, 3) apart, starting
// at W x index so that curves are staggered.
void draw_curve(const COLORREF* colours, int index, int width, int left, int top, int right,
                int bottom, const std::int16_t* xs, const std::int16_t* ys, int n, int mode,
                bool last_only, bool clip, int marker_spacing = 0);

// A two-point line in a curve's pen (legend samples). Records 5 and 4.
void draw_legend_line(const COLORREF* colours, int index, int width, int x1, int y1, int x2, int y2,
                      int marker_spacing = 0);
// The marker font: made from its spec on first use on the measuring device,
// deleted when a printer is opened or closed (its resolution changes).
font_spec marker_font_spec();
void delete_marker_font();
// Rows 2..count+1 of a series block (rows of n positions) as thin lines, or
// with count <= 0 row 1 at width -count; clipped to the box. Records 5 and 3.
void draw_curve_family(int left, int top, int right, int bottom, const std::int16_t* xs,
                       const std::int16_t* rows, int n, int count, COLORREF colour);
// Filled bands between rows k and k + 1 of a series block, k from count down
// to 1, in colours[k - 1] (monochrome: a black outline and the pattern after
// k - 1's). Clipped to the box; not written to the transfer text.
void fill_bands(int left, int top, int right, int bottom, const std::int16_t* xs,
                const std::int16_t* rows, int n, int count, const COLORREF* colours);
// Marker shapes (0-2 square, 3-4 circle, 5 X, 6 diamond, 7 triangle, 8 up
// triangle, 9 cross; 0, 2 and 4 filled) at each point inside the square; size
// (0 = 1) + 2 pixels, scaled to the printer while printing.
void draw_point_markers(const COLORREF* colours, int index, int size, int shape, int left, int top,
                        int right, int bottom, const std::int16_t* xs, const std::int16_t* ys,
                        int n, bool last_two);
// Marker shapes repeated along a horizontal line every 2 x size from x1 while
// a box's right edge stays left of x2. A line that is not horizontal is
// refused (severity 10 "dotted_line").
void dotted_line(const COLORREF* colours, int index, int size, int shape, int x1, int y1, int x2,
                 int y2);

// The graphics transfer text being written (gtx_mode < 0); null when none.
// Records go to it in points (device pixels x 72 / the resolution).
void set_gtx_sink(std::string* text);
std::string* gtx_sink();
// Transfer records of the primitives (no-ops without a sink).
void gtx_width(int width);
void gtx_box(int left, int top, int right, int bottom);
void gtx_line(int x1, int y1, int x2, int y2);
void gtx_text(int x, int baseline, const char* text);
void gtx_polyline(const POINT* points, int n);
