// The time loop: a checked, ordered and compiled model is run from INITIAL
// TIME to FINAL TIME with Euler, second- or fourth-order Runge-Kutta or
// Runge-Kutta with automatic step control; values are kept at every save time
// (every SAVEPER, and FINAL TIME), the shell's pump hook is called there and
// the break flag looked at; a result that is not a finite number or a fatal
// error of a built-in ends the run cleanly, naming the variable, and what was
// computed is kept and written. The run file is written once, at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/types.h"
#include "model/codegen.h"
#include "model/context.h"
#include "sim/runtypes.h"
#include "sim/runwrite.h"

// Checks, orders, compiles and runs the model, then writes the run file
// when asked. The model must not be locked. out may be null.
int simulate_model(handle symbols, const sim_options& options, sim_output* out);

// Runs a compiled program (already ordered) over its model. out (emptied
// first, its storage kept) receives the values; without one, the engine keeps
// the output's storage itself for the next run of the same model.
int run_program(handle symbols, const sim_program& program, const sim_options& options,
                sim_output* out);
// Frees the storage kept for runs without an output (when a model closes).
void release_run_storage();

// The values of one slot while a simulation runs (all elements of the
// variable whose first slot it is); returns the count (0 outside a run).
int wip_values(std::int32_t slot, std::vector<float>& out);

// Registers a spreadsheet or data file as a data source of the run being
// prepared or run (sim_phase 1 or above) and returns its index in the run's
// list (the same index for the same file); -1 outside a run.
int data_source_index(const char* path);
// Called as each run starts preparing its outside data (the data links end
// the last run's spreadsheet conversations there); null: nothing.
void set_exogenous_data_hook(void (*hook)());
// The data sources registered for the current run.
const std::vector<std::string>& run_data_sources();

// The engine's checking mode for tests (sim/runcheck.cpp): every run that
// may use native code (sim/native/native.h) is run first on the flat loop
// alone, from the same start, and the two runs must agree to the bit (saved
// times and rows, the initial values, the outcome and its message). A
// difference ends the process naming the first differing value. Off (the
// default), a run costs one test of a flag. KAVREL_NATIVE_VERIFY=1 turns it
// on at start.
// Whether runs are checked (the environment's choice until set).
bool native_check();
void set_native_check(bool on);

// Test hook: the runs on native code get the float at index (times, then
// rows) of their saved values changed in its last bit after they end, as a
// fault of the native code would change it; -1 (the default) none.
void set_native_check_fault(long index);

// Runs p as run_program does, checked as above (run_program calls it when
// the mode is on).
int run_checked(handle symbols, const sim_program& p, const sim_options& o, sim_output& out);
