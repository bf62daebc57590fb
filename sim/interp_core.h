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

// Evaluates one unit (all its lanes) by the interpreter.
void eval_unit(int unit, int mode);

// The run's lookup tables and their data (valid between begin and end).
lookup_table* run_lookup_tables();
float* run_lookup_data();

// The value of a lookup at x (clamped at the ends, or extrapolated).
double lookup_value_search(lookup_table& t, const float* data, double x, bool extrapolate);
// The same, inline while x stays inside the segment of the previous call
// (the usual case from one step to the next).
inline double lookup_value(lookup_table& t, const float* data, double x, bool extrapolate) {
    const float* px = data + t.x;
    std::int64_t k = t.segment;
    if (t.count >= 2 && k >= 0 && k + 2 <= static_cast<std::int64_t>(t.count) && x > px[0] &&
        x < px[t.count - 1] && x >= px[k] && x <= px[k + 1]) {
        const float* py = data + t.y;
        double dx = px[k + 1] - px[k];
        if (dx == 0) return py[k + 1];
        return py[k] + (x - px[k]) * (static_cast<double>(py[k + 1]) - py[k]) / dx;
    }
    return lookup_value_search(t, data, x, extrapolate);
}

// A built-in call of one lane; args are its arguments in order.
double interp_call_one(int unit, const std::uint32_t* call, const double* args, int mode);
// The rates of a stateful call's hidden states (or a pipeline push), one lane.
void interp_state_rate_one(int unit, const std::uint32_t* call, const double* args, int mode);
// Ends the run naming the unit's first element.
[[noreturn]] void interp_fail_unit(int unit, const char* what);
