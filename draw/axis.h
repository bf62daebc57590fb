// Axis scaling: round numbers and round axis bounds for the data a graph
// shows, and the mapping of series into the 0..10000 square that the drawing
// primitives scale into any rectangle (x from the left, y from the top).
#pragma once

#include <cstdint>

// A bound beyond +-this (the largest 32-bit float) is "not set".
inline constexpr double axis_unset = 3.4028234663852886e38;
// Positions of values beyond the axis range are limited to +-this.
inline constexpr int axis_pos_limit = 32760;

// A round number near x: steps 1, 2, 4, 6, 8 (up) or 1, 2, 4, 6, 8 below (down)
// times a power of ten; `step` (0 = none) is the axis range, used for values
// much larger than it. x <= 0 gives 0.2 (up) or 0.1 (down). A non-finite x is
// refused: it comes back as it is.
double nice_number(double x, double step, int down);
// Round bounds for a data range; unset (or non-finite) ends give both unset.
void nice_axis_range(double min, double max, double* out_min, double* out_max);

// Round steps for an axis the program scales itself. The numbers of an axis
// stand at lo + i x (hi - lo) / divisions; a range such as 8 to 20 in 5
// divisions reads 8, 10.4, 12.8. This finds a step of 1, 2, 2.5 or 5 times a
// power of ten and a division count from min_count to max_count, moving
// only the open ends outward to multiples of the step, as little as it can;
// among equal ranges the count nearest `wanted` wins, then the smaller.
// false (nothing changed) when no such step fits, or the range is empty or
// not finite.
struct round_scale {
    double lo = 0, hi = 0;
    int divisions = 0;
};
bool round_axis_steps(double lo, double hi, int wanted, int min_count, int max_count, bool lo_open,
                      bool hi_open, round_scale* out);
// Whether a step is such a round number (within a rounding error).
bool is_round_step(double step);

// Position of x on an axis from lo (0) to hi (10000), and of y from hi (0,
// the top) to lo (10000), limited to +-axis_pos_limit. A zero span counts as
// a span of 1.
std::int16_t axis_x_pos(double x, double lo, double hi);
std::int16_t axis_y_pos(double y, double lo, double hi);
// Whether a value can be placed at all: finite and not the missing value.
bool axis_value_ok(double v);

// Maps a time series and, when given, its sensitivity runs (see axis.cpp).
// The y block has rows of `stride` positions: row 0 the series, row 1 the
// mean of the runs, then a row per run or, with bounds (per mille), the lower
// and upper rows of each bound. Points whose time lies outside [x_min, x_max],
// or whose time or value is not finite or missing, are left out. Returns the
// number of points kept.
int map_series_with_bands(const float* times, const float* values, int n, const float* const* runs,
                          int run_count, double x_min, double x_max, double y_min, double y_max,
                          std::int16_t* x_out, std::int16_t* y_out, int stride,
                          std::int32_t* bounds, int bound_count, int mean_flag);
// Sorts runs (pointers to series) by their value at index i, ascending; a
// Shell sort with gaps n/2, n/4, ..., 1 that never exchanges equal values.
void sort_series_at(const float** runs, int run_count, int i);

// Maps an x-y series into the box [x_min, x_max] x [y_min, y_max]: mode above
// 0 places the points inside; 0 or below a line, clipped where it leaves and
// enters the box (-1 also closes a walk that ends outside). At most
// max_points positions (when above 0). Returns the number written; *stopped
// (when given) gets the index of the input point where the mapping stopped.
int map_xy_series(const float* xs, const float* ys, int n, double x_min, double x_max, double y_min,
                  double y_max, std::int16_t* x_out, std::int16_t* y_out, int mode, int max_points,
                  int* stopped);

struct axis_point {
    std::int16_t x, y;
};
// Clips the segment from (px, py) to (cx, cy) against the box of the last
// map_xy_series: 1 when part of it is visible, with out[0] the previous end
// and out[1] the current end of that part. A point on a crossed boundary gets
// -1 (left, top) or 10001 (right, bottom) on that axis.
int clip_segment(double px, double py, double cx, double cy, axis_point out[2]);
// The box clip_segment uses (set by map_xy_series).
void set_clip_box(double x_min, double x_max, double y_min, double y_max);
