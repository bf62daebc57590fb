// The interpreter's engine room: evaluation of one unit and of one lane of a
// built-in, and the run's lookup tables. The public face (sim/interp.h) and the
// flat passes (sim/flat.h) both stand on it, so the flat passes need nothing of
// the interpreter's run management. Defined in interp.cpp.
#pragma once

#include <cstdint>

#include "sim/simdata.h"

// How a unit is evaluated: the initial pass (states are initialised), the
// first evaluation of a time step (held values, random draws and pipelines
// move on), or an intermediate stage of a Runge-Kutta step (nothing moves).
enum eval_mode : int { em_initial = 0, em_main = 1, em_stage = 2 };

// MIN and MAX of two doubles as every road computes them: the first operand
// when they are equal (so the sign of a zero follows the order), and NaN when
// either operand is NaN, whichever side it is on, so that it reaches the
// store and is reported as arithmetic's NaN is (std::min and std::max keep
// the second operand's NaN out). NA, below every number, is MIN's by the
// order; MAX tests for it apart.
// Always inlined: in the interpreter's evaluation (a large function) the
// compiler left them calls, which made a VMIN or VMAX over elements wait on
// a call per element.
[[gnu::always_inline]] inline double value_min(double x, double y) {
    return (y < x || y != y) ? y : x;
}
[[gnu::always_inline]] inline double value_max(double x, double y) {
    return (x < y || y != y) ? y : x;
}

// Evaluates one unit (all its lanes) by the interpreter.
void eval_unit(int unit, int mode);

// The run's lookup tables and their data (valid between begin and end).
lookup_table* run_lookup_tables();
float* run_lookup_data();

// A lookup at x either has its value at once (no points, an end, a segment
// of zero width) or interpolates y0 + (x - x0) dy / dx over a span; the two
// halves let a chunk of lanes find their spans one by one (the table's
// current segment moves as it would lane by lane) and interpolate together.
struct lookup_span {
    double x0, y0, dy, dx;
};
inline double lookup_interpolate(double x, const lookup_span& s) {
    return s.y0 + (x - s.x0) * s.dy / s.dx;
}
// The span of segment k (points k and k + 1), the one form every road uses,
// beyond the ends too: the differences of the stored floats are taken in
// double, not rounded to float.
inline lookup_span segment_span(const float* px, const float* py, std::int64_t k) {
    return {px[k], py[k], static_cast<double>(py[k + 1]) - py[k],
            static_cast<double>(px[k + 1]) - px[k]};
}
// True with the span to interpolate over, false with the value.
bool lookup_locate_search(lookup_table& t, const float* data, double x, bool extrapolate,
                          double& value, lookup_span& span);
// The same, inline while x stays inside the segment of the previous call
// (the usual case from one step to the next).
inline bool lookup_locate(lookup_table& t, const float* data, double x, bool extrapolate,
                          double& value, lookup_span& span) {
    const float* px = data + t.x;
    std::int64_t k = t.segment;
    if (t.count >= 2 && k >= 0 && k + 2 <= static_cast<std::int64_t>(t.count) && x > px[0] &&
        x < px[t.count - 1] && x >= px[k] && x <= px[k + 1]) {
        const float* py = data + t.y;
        if (px[k + 1] == px[k]) {
            value = py[k + 1];
            return false;
        }
        span = segment_span(px, py, k);
        return true;
    }
    return lookup_locate_search(t, data, x, extrapolate, value, span);
}
// The value of a lookup at x (clamped at the ends, or extrapolated).
inline double lookup_value(lookup_table& t, const float* data, double x, bool extrapolate) {
    double value;
    lookup_span span;
    return lookup_locate(t, data, x, extrapolate, value, span) ? lookup_interpolate(x, span)
                                                               : value;
}

// lookup_points_rise when the count points at px rise (none is NaN or falls).
inline std::uint32_t lookup_rise_flag(const float* px, std::uint32_t count) {
    for (std::uint32_t k = 1; k < count; ++k)
        if (!(px[k] >= px[k - 1])) return 0;
    return count && px[0] == px[0] ? lookup_points_rise : 0;
}

// LOOKUP INVERT: the smallest x at which the lookup (a line between its
// points) takes y. Beyond the table's y values, the x of the first point
// nearest to y (its first highest or lowest point): the near end of a rising
// or falling table, so the inverse does not jump where y leaves the table.
// NA for a table without points; NaN gives NaN. NA is not tested: it is a
// number below every point.
inline double lookup_inverse(const lookup_table& t, const float* data, double y) {
    if (t.count == 0) return static_cast<double>(NA);
    const float* px = data + t.x;
    const float* py = data + t.y;
    std::uint32_t low = 0, high = 0;
    for (std::uint32_t k = 1; k < t.count; ++k) {
        if (py[k] < py[low]) low = k;
        if (py[k] > py[high]) high = k;
    }
    if (y < py[low]) return px[low];
    if (y > py[high]) return px[high];
    for (std::uint32_t k = 1; k < t.count; ++k) {
        double y0 = py[k - 1], y1 = py[k];
        if ((y >= y0 && y <= y1) || (y <= y0 && y >= y1))
            return y1 == y0 ? px[k - 1]
                            : px[k - 1] +
                                  (y - y0) / (y1 - y0) * (static_cast<double>(px[k]) - px[k - 1]);
    }
    // One point (y is its y), or y NaN.
    return y == y ? static_cast<double>(px[0]) : y;
}

// Lookups of lanes 0..n-1: out[i] is the value at x[i] (NA stays NA) of
// table base + stride i (+ index[i] when index is given), spans found lane
// by lane in order, then interpolated in one loop. out may be x.
void lookup_lanes(const double* x, double* out, std::uint32_t n, std::int64_t base,
                  std::int64_t stride, const std::uint32_t* index, bool extrapolate);

// A built-in call of one lane; args are its arguments in order.
double interp_call_one(int unit, const std::uint32_t* call, const double* args, int mode);
// The rates of a stateful call's hidden states (or a pipeline push), one lane.
void interp_state_rate_one(int unit, const std::uint32_t* call, const double* args, int mode);
// Ends the run naming the unit's first element.
[[noreturn]] void interp_fail_unit(int unit, const char* what);
// Ends the run naming the element of a lane of the unit.
[[noreturn]] void interp_fail_lane(int unit, std::uint32_t lane, const char* what);
