// Sensitivity reads ('S' and 's' runs) and the level-change check.
//
// A sensitivity run holds, beside its base series, the values of chosen
// variables from every simulation of the set: K single values and S series of
// T saved times per simulation (one matrix row each).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"

// The first nine words of the section (its 32-byte head and the first slot;
// 0 when the section lists no slot). False for a run that is not 'S' or 's'.
bool run_sens_header(int i, std::uint32_t out[9]);
// Every simulation's values of a variable: rows gets one vector per
// simulation. A single-value variable: one value each, result 1; a series
// variable: T values each, result T. 0 when not a sensitivity run, unknown,
// a lookup or string, or not in the section's lists.
int sens_values(const char* name, int i, std::vector<std::vector<float>>& rows);
// The value of one variable at one time (nearest saved time of the run's time
// axis, in xname's units) from every simulation; returns the number of
// simulations, or 0 (also when the time lies outside the run).
int sens_percentiles(const char* name, int i, std::vector<float>& out, const char* xname,
                     double time);

// One changing level element.
struct changing_level {
    symbol_id id;     // the level in run i's model
    std::string name; // element name
};
// Lists the level elements of run i whose value changes between the first
// two saved times (both saved: presence bits 0 and 1). With r or a non-zero
// a change counts only when |y - x| is above a and above r |(x + y) / 2|.
// Returns 1 when any changes; 0 after "Problem with first run" or "First run
// is not a simulation run" (severity 8), or "No levels are changing"
// (severity 6).
int changing_levels(int i, std::vector<changing_level>& list, double r, double a);
